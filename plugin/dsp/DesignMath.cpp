#include "plugin/dsp/DesignMath.h"

namespace dsp::designmath {

// Each the double nearest to the value (computed to 300 bits).
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

const double kExp2By32[32] = {
    0x1.0000000000000p+0, 0x1.059b0d3158574p+0, 0x1.0b5586cf9890fp+0, 0x1.11301d0125b51p+0,
    0x1.172b83c7d517bp+0, 0x1.1d4873168b9aap+0, 0x1.2387a6e756238p+0, 0x1.29e9df51fdee1p+0,
    0x1.306fe0a31b715p+0, 0x1.371a7373aa9cbp+0, 0x1.3dea64c123422p+0, 0x1.44e086061892dp+0,
    0x1.4bfdad5362a27p+0, 0x1.5342b569d4f82p+0, 0x1.5ab07dd485429p+0, 0x1.6247eb03a5585p+0,
    0x1.6a09e667f3bcdp+0, 0x1.71f75e8ec5f74p+0, 0x1.7a11473eb0187p+0, 0x1.82589994cce13p+0,
    0x1.8ace5422aa0dbp+0, 0x1.93737b0cdc5e5p+0, 0x1.9c49182a3f090p+0, 0x1.a5503b23e255dp+0,
    0x1.ae89f995ad3adp+0, 0x1.b7f76f2fb5e47p+0, 0x1.c199bdd85529cp+0, 0x1.cb720dcef9069p+0,
    0x1.d5818dcfba487p+0, 0x1.dfc97337b9b5fp+0, 0x1.ea4afa2a490dap+0, 0x1.f50765b6e4540p+0,
};

} // namespace dsp::designmath
