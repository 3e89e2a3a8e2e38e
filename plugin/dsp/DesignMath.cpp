#include "plugin/dsp/DesignMath.h"

namespace dsp::designmath {

// Each the double nearest to the value (computed to 300 bits; 0.6931472 is
// the double nearest that decimal, as the runtime's expression has it).
const double kSinPiBy32[32] = {
    0x0p+0,
    0x1.917a6bc29b42cp-4,
    0x1.8f8b83c69a60bp-3,
    0x1.294062ed59f06p-2,
    0x1.87de2a6aea963p-2,
    0x1.e2b5d3806f63bp-2,
    0x1.1c73b39ae68c8p-1,
    0x1.44cf325091dd6p-1,
    0x1.6a09e667f3bcdp-1,
    0x1.8bc806b151741p-1,
    0x1.a9b66290ea1a3p-1,
    0x1.c38b2f180bdb1p-1,
    0x1.d906bcf328d46p-1,
    0x1.e9f4156c62ddap-1,
    0x1.f6297cff75cb0p-1,
    0x1.fd88da3d12526p-1,
    0x1.0000000000000p+0,
    0x1.fd88da3d12526p-1,
    0x1.f6297cff75cb0p-1,
    0x1.e9f4156c62ddap-1,
    0x1.d906bcf328d46p-1,
    0x1.c38b2f180bdb1p-1,
    0x1.a9b66290ea1a3p-1,
    0x1.8bc806b151741p-1,
    0x1.6a09e667f3bcdp-1,
    0x1.44cf325091dd6p-1,
    0x1.1c73b39ae68c8p-1,
    0x1.e2b5d3806f63bp-2,
    0x1.87de2a6aea963p-2,
    0x1.294062ed59f06p-2,
    0x1.8f8b83c69a60bp-3,
    0x1.917a6bc29b42cp-4,
};

const double kCosPiBy32[32] = {
    0x1.0000000000000p+0,   0x1.fd88da3d12526p-1,  0x1.f6297cff75cb0p-1,  0x1.e9f4156c62ddap-1,
    0x1.d906bcf328d46p-1,   0x1.c38b2f180bdb1p-1,  0x1.a9b66290ea1a3p-1,  0x1.8bc806b151741p-1,
    0x1.6a09e667f3bcdp-1,   0x1.44cf325091dd6p-1,  0x1.1c73b39ae68c8p-1,  0x1.e2b5d3806f63bp-2,
    0x1.87de2a6aea963p-2,   0x1.294062ed59f06p-2,  0x1.8f8b83c69a60bp-3,  0x1.917a6bc29b42cp-4,
    0x1.01377be5466cfp-301, -0x1.917a6bc29b42cp-4, -0x1.8f8b83c69a60bp-3, -0x1.294062ed59f06p-2,
    -0x1.87de2a6aea963p-2,  -0x1.e2b5d3806f63bp-2, -0x1.1c73b39ae68c8p-1, -0x1.44cf325091dd6p-1,
    -0x1.6a09e667f3bcdp-1,  -0x1.8bc806b151741p-1, -0x1.a9b66290ea1a3p-1, -0x1.c38b2f180bdb1p-1,
    -0x1.d906bcf328d46p-1,  -0x1.e9f4156c62ddap-1, -0x1.f6297cff75cb0p-1, -0x1.fd88da3d12526p-1,
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
