#include "plugin/dsp/DesignMath.h"

namespace dsp::designmath {

// Each the double nearest to the value (computed to 300 bits; 0.6931472 is
// the double nearest that decimal, as the runtime's expression has it).
const SinCos kSinCosPiBy128[114] = {
    {0x0.0p+0, 0x1.0000000000000p+0},
    {0x1.92155f7a3667ep-6, 0x1.ffd886084cd0dp-1},
    {0x1.91f65f10dd814p-5, 0x1.ff621e3796d7ep-1},
    {0x1.2d52092ce19f6p-4, 0x1.fe9cdad01883ap-1},
    {0x1.917a6bc29b42cp-4, 0x1.fd88da3d12526p-1},
    {0x1.f564e56a9730ep-4, 0x1.fc26470e19fd3p-1},
    {0x1.2c8106e8e613ap-3, 0x1.fa7557f08a517p-1},
    {0x1.5e214448b3fc6p-3, 0x1.f8764fa714ba9p-1},
    {0x1.8f8b83c69a60bp-3, 0x1.f6297cff75cb0p-1},
    {0x1.c0b826a7e4f63p-3, 0x1.f38f3ac64e589p-1},
    {0x1.f19f97b215f1bp-3, 0x1.f0a7efb9230d7p-1},
    {0x1.111d262b1f677p-2, 0x1.ed740e7684963p-1},
    {0x1.294062ed59f06p-2, 0x1.e9f4156c62ddap-1},
    {0x1.4135c94176601p-2, 0x1.e6288ec48e112p-1},
    {0x1.58f9a75ab1fddp-2, 0x1.e212104f686e5p-1},
    {0x1.7088530fa459fp-2, 0x1.ddb13b6ccc23cp-1},
    {0x1.87de2a6aea963p-2, 0x1.d906bcf328d46p-1},
    {0x1.9ef7943a8ed8ap-2, 0x1.d4134d14dc93ap-1},
    {0x1.b5d1009e15cc0p-2, 0x1.ced7af43cc773p-1},
    {0x1.cc66e9931c45ep-2, 0x1.c954b213411f5p-1},
    {0x1.e2b5d3806f63bp-2, 0x1.c38b2f180bdb1p-1},
    {0x1.f8ba4dbf89abap-2, 0x1.bd7c0ac6f952ap-1},
    {0x1.073879922ffeep-1, 0x1.b728345196e3ep-1},
    {0x1.11eb3541b4b23p-1, 0x1.b090a58150200p-1},
    {0x1.1c73b39ae68c8p-1, 0x1.a9b66290ea1a3p-1},
    {0x1.26d054cdd12dfp-1, 0x1.a29a7a0462782p-1},
    {0x1.30ff7fce17035p-1, 0x1.9b3e047f38741p-1},
    {0x1.3affa292050b9p-1, 0x1.93a22499263fbp-1},
    {0x1.44cf325091dd6p-1, 0x1.8bc806b151741p-1},
    {0x1.4e6cabbe3e5e9p-1, 0x1.83b0e0bff976ep-1},
    {0x1.57d69348ceca0p-1, 0x1.7b5df226aafafp-1},
    {0x1.610b7551d2cdfp-1, 0x1.72d0837efff96p-1},
    {0x1.6a09e667f3bcdp-1, 0x1.6a09e667f3bcdp-1},
    {0x1.72d0837efff96p-1, 0x1.610b7551d2cdfp-1},
    {0x1.7b5df226aafafp-1, 0x1.57d69348ceca0p-1},
    {0x1.83b0e0bff976ep-1, 0x1.4e6cabbe3e5e9p-1},
    {0x1.8bc806b151741p-1, 0x1.44cf325091dd6p-1},
    {0x1.93a22499263fbp-1, 0x1.3affa292050b9p-1},
    {0x1.9b3e047f38741p-1, 0x1.30ff7fce17035p-1},
    {0x1.a29a7a0462782p-1, 0x1.26d054cdd12dfp-1},
    {0x1.a9b66290ea1a3p-1, 0x1.1c73b39ae68c8p-1},
    {0x1.b090a58150200p-1, 0x1.11eb3541b4b23p-1},
    {0x1.b728345196e3ep-1, 0x1.073879922ffeep-1},
    {0x1.bd7c0ac6f952ap-1, 0x1.f8ba4dbf89abap-2},
    {0x1.c38b2f180bdb1p-1, 0x1.e2b5d3806f63bp-2},
    {0x1.c954b213411f5p-1, 0x1.cc66e9931c45ep-2},
    {0x1.ced7af43cc773p-1, 0x1.b5d1009e15cc0p-2},
    {0x1.d4134d14dc93ap-1, 0x1.9ef7943a8ed8ap-2},
    {0x1.d906bcf328d46p-1, 0x1.87de2a6aea963p-2},
    {0x1.ddb13b6ccc23cp-1, 0x1.7088530fa459fp-2},
    {0x1.e212104f686e5p-1, 0x1.58f9a75ab1fddp-2},
    {0x1.e6288ec48e112p-1, 0x1.4135c94176601p-2},
    {0x1.e9f4156c62ddap-1, 0x1.294062ed59f06p-2},
    {0x1.ed740e7684963p-1, 0x1.111d262b1f677p-2},
    {0x1.f0a7efb9230d7p-1, 0x1.f19f97b215f1bp-3},
    {0x1.f38f3ac64e589p-1, 0x1.c0b826a7e4f63p-3},
    {0x1.f6297cff75cb0p-1, 0x1.8f8b83c69a60bp-3},
    {0x1.f8764fa714ba9p-1, 0x1.5e214448b3fc6p-3},
    {0x1.fa7557f08a517p-1, 0x1.2c8106e8e613ap-3},
    {0x1.fc26470e19fd3p-1, 0x1.f564e56a9730ep-4},
    {0x1.fd88da3d12526p-1, 0x1.917a6bc29b42cp-4},
    {0x1.fe9cdad01883ap-1, 0x1.2d52092ce19f6p-4},
    {0x1.ff621e3796d7ep-1, 0x1.91f65f10dd814p-5},
    {0x1.ffd886084cd0dp-1, 0x1.92155f7a3667ep-6},
    {0x1.0000000000000p+0, 0x1.01377be5466cfp-301},
    {0x1.ffd886084cd0dp-1, -0x1.92155f7a3667ep-6},
    {0x1.ff621e3796d7ep-1, -0x1.91f65f10dd814p-5},
    {0x1.fe9cdad01883ap-1, -0x1.2d52092ce19f6p-4},
    {0x1.fd88da3d12526p-1, -0x1.917a6bc29b42cp-4},
    {0x1.fc26470e19fd3p-1, -0x1.f564e56a9730ep-4},
    {0x1.fa7557f08a517p-1, -0x1.2c8106e8e613ap-3},
    {0x1.f8764fa714ba9p-1, -0x1.5e214448b3fc6p-3},
    {0x1.f6297cff75cb0p-1, -0x1.8f8b83c69a60bp-3},
    {0x1.f38f3ac64e589p-1, -0x1.c0b826a7e4f63p-3},
    {0x1.f0a7efb9230d7p-1, -0x1.f19f97b215f1bp-3},
    {0x1.ed740e7684963p-1, -0x1.111d262b1f677p-2},
    {0x1.e9f4156c62ddap-1, -0x1.294062ed59f06p-2},
    {0x1.e6288ec48e112p-1, -0x1.4135c94176601p-2},
    {0x1.e212104f686e5p-1, -0x1.58f9a75ab1fddp-2},
    {0x1.ddb13b6ccc23cp-1, -0x1.7088530fa459fp-2},
    {0x1.d906bcf328d46p-1, -0x1.87de2a6aea963p-2},
    {0x1.d4134d14dc93ap-1, -0x1.9ef7943a8ed8ap-2},
    {0x1.ced7af43cc773p-1, -0x1.b5d1009e15cc0p-2},
    {0x1.c954b213411f5p-1, -0x1.cc66e9931c45ep-2},
    {0x1.c38b2f180bdb1p-1, -0x1.e2b5d3806f63bp-2},
    {0x1.bd7c0ac6f952ap-1, -0x1.f8ba4dbf89abap-2},
    {0x1.b728345196e3ep-1, -0x1.073879922ffeep-1},
    {0x1.b090a58150200p-1, -0x1.11eb3541b4b23p-1},
    {0x1.a9b66290ea1a3p-1, -0x1.1c73b39ae68c8p-1},
    {0x1.a29a7a0462782p-1, -0x1.26d054cdd12dfp-1},
    {0x1.9b3e047f38741p-1, -0x1.30ff7fce17035p-1},
    {0x1.93a22499263fbp-1, -0x1.3affa292050b9p-1},
    {0x1.8bc806b151741p-1, -0x1.44cf325091dd6p-1},
    {0x1.83b0e0bff976ep-1, -0x1.4e6cabbe3e5e9p-1},
    {0x1.7b5df226aafafp-1, -0x1.57d69348ceca0p-1},
    {0x1.72d0837efff96p-1, -0x1.610b7551d2cdfp-1},
    {0x1.6a09e667f3bcdp-1, -0x1.6a09e667f3bcdp-1},
    {0x1.610b7551d2cdfp-1, -0x1.72d0837efff96p-1},
    {0x1.57d69348ceca0p-1, -0x1.7b5df226aafafp-1},
    {0x1.4e6cabbe3e5e9p-1, -0x1.83b0e0bff976ep-1},
    {0x1.44cf325091dd6p-1, -0x1.8bc806b151741p-1},
    {0x1.3affa292050b9p-1, -0x1.93a22499263fbp-1},
    {0x1.30ff7fce17035p-1, -0x1.9b3e047f38741p-1},
    {0x1.26d054cdd12dfp-1, -0x1.a29a7a0462782p-1},
    {0x1.1c73b39ae68c8p-1, -0x1.a9b66290ea1a3p-1},
    {0x1.11eb3541b4b23p-1, -0x1.b090a58150200p-1},
    {0x1.073879922ffeep-1, -0x1.b728345196e3ep-1},
    {0x1.f8ba4dbf89abap-2, -0x1.bd7c0ac6f952ap-1},
    {0x1.e2b5d3806f63bp-2, -0x1.c38b2f180bdb1p-1},
    {0x1.cc66e9931c45ep-2, -0x1.c954b213411f5p-1},
    {0x1.b5d1009e15cc0p-2, -0x1.ced7af43cc773p-1},
    {0x1.9ef7943a8ed8ap-2, -0x1.d4134d14dc93ap-1},
    {0x1.87de2a6aea963p-2, -0x1.d906bcf328d46p-1},
    {0x1.7088530fa459fp-2, -0x1.ddb13b6ccc23cp-1},
};

const double kExpFactorWhole[13] = {
    0x1.0000000000000p+0,  0x1.000000537e910p+1, 0x1.000000a6fd221p+2,  0x1.000000fa7bb34p+3,
    0x1.0000014dfa449p+4,  0x1.000001a178d60p+5, 0x1.000001f4f7678p+6,  0x1.0000024875f92p+7,
    0x1.0000029bf48aep+8,  0x1.000002ef731cbp+9, 0x1.00000342f1aeap+10, 0x1.000003967040bp+11,
    0x1.000003e9eed2dp+12,
};

const double kExpFactorBy32[32] = {
    0x1.0000000000000p+0, 0x1.059b0d3402ec2p+0, 0x1.0b5586d50b9f6p+0, 0x1.11301d09801cfp+0,
    0x1.172b83d336bbdp+0, 0x1.1d48732515680p+0, 0x1.2387a6f92a18fp+0, 0x1.29e9df673f247p+0,
    0x1.306fe0bbee23ap+0, 0x1.371a739034306p+0, 0x1.3dea64e18a4fep+0, 0x1.44e0862a84ef4p+0,
    0x1.4bfdad7bfd673p+0, 0x1.5342b596c88d6p+0, 0x1.5ab07e05fd689p+0, 0x1.6247eb39cf312p+0,
    0x1.6a09e6a2fdd69p+0, 0x1.71f75ecee056ap+0, 0x1.7a1147840c431p+0, 0x1.825899df9de8ep+0,
    0x1.8ace5473249bbp+0, 0x1.93737b6336bebp+0, 0x1.9c491886b136bp+0, 0x1.a5503b86a606cp+0,
    0x1.ae89f9fefdec9p+0, 0x1.b7f76f9fd0e8ep+0, 0x1.c199be4f79b47p+0, 0x1.cb720e4d683a4p+0,
    0x1.d5818e55b7450p+0, 0x1.dfc973c589a6ap+0, 0x1.ea4afac03337fp+0, 0x1.f507665532269p+0,
};

} // namespace dsp::designmath

namespace dsp {

float runtimeQuotient(double n, double d, double offset) { return single(n / d + offset); }
float runtimePow2(float x) { return single(std::exp(0.6931472 * static_cast<double>(x))); }
float runtimeCotangent(float w) {
    return single(1.0 / std::tan(designmath::kDesignPi * static_cast<double>(w)));
}
float runtimeTangent(float w) {
    return single(std::tan(designmath::kDesignPi * static_cast<double>(w)));
}
float runtimeTwiceCosine(float w) {
    return single(std::cos(designmath::kDesignTwoPi * static_cast<double>(w)) * 2.0);
}

} // namespace dsp
