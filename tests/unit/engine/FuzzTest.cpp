// Ten million frames of random, silent, subnormal, huge and non-finite input,
// with random parameter, program and rate changes between blocks: every
// output sample must be finite, within [-1, 1], and equal on both outputs.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace enginetest;

namespace {

enum class Kind { Ordinary, Silent, Subnormal, Huge, NonFinite, Mixed, kCount };

float sample(Kind kind, std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    switch (kind) {
    case Kind::Ordinary:
        return unit(rng) * 2.0f;
    case Kind::Silent:
        return 0.0f;
    case Kind::Subnormal:
        return unit(rng) * FLT_MIN * 0.5f;
    case Kind::Huge:
        return unit(rng) > 0 ? FLT_MAX * unit(rng) : std::ldexp(unit(rng), int(rng() % 128));
    case Kind::NonFinite: {
        const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), -FLT_MAX, FLT_MAX};
        return bad[rng() % 5];
    }
    default: {
        std::uint32_t bits = static_cast<std::uint32_t>(rng());
        float x;
        std::memcpy(&x, &bits, sizeof x);
        return x; // any bit pattern: NaNs, infinities, subnormals, anything
    }
    }
}

} // namespace

TEST(Fuzz, TenMillionFramesStayFiniteAndBounded) {
    Instance in;
    APlugin& fx = *in.effect;
    in.host.setRateOnRequest = true;
    const unsigned seed = 20261207;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float rates[] = {44100.0f,
                           48000.0f,
                           8000.0f,
                           22050.0f,
                           96000.0f,
                           0.0f,
                           -1.0f,
                           std::numeric_limits<float>::quiet_NaN(),
                           1.0f,
                           3e38f,
                           std::numeric_limits<float>::infinity(),
                           1e-40f,
                           192000.0f};
    constexpr long kFrames = 10'000'000;
    std::vector<float> l(4096), r(4096), ol(4096), orr(4096);
    long done = 0, bad = 0, blocks = 0;
    while (done < kFrames) {
        const int n = static_cast<int>(std::min<long>(1 + rng() % 4096, kFrames - done));
        const Kind kl = static_cast<Kind>(rng() % int(Kind::kCount));
        const Kind kr = static_cast<Kind>(rng() % int(Kind::kCount));
        for (int i = 0; i < n; ++i) {
            l[i] = sample(kl, rng);
            r[i] = sample(kr, rng);
        }
        // Changes between blocks: values in and beyond range, NaN, programs,
        // names and the host's rate.
        for (int c = int(rng() % 4); c > 0; --c) {
            switch (rng() % 6) {
            case 0:
                fx.setProgram(int(rng() % 20) - 2);
                break;
            case 1:
                in.host.reportedRate = rates[rng() % (sizeof rates / sizeof rates[0])];
                fx.setParameter(int(rng() % 8), unit(rng));
                break;
            case 2:
                fx.setParameter(int(rng() % 130), sample(Kind::Mixed, rng));
                break;
            default:
                fx.setParameter(int(rng() % 8), unit(rng) * 1.2f - 0.1f);
                break;
            }
        }
        float* inb[2] = {l.data(), r.data()};
        float* outb[2] = {ol.data(), orr.data()};
        fx.processReplacing(inb, outb, n);
        for (int i = 0; i < n; ++i) {
            const bool ok = std::fabs(ol[i]) <= 1.0f && ol[i] == orr[i];
            if (!ok && bad++ < 5)
                ADD_FAILURE() << "block " << blocks << " frame " << i << ": " << ol[i] << " / "
                              << orr[i];
        }
        // The internal state must never be left without a number.
        if (!std::isfinite(fx.signal().envelope()) && bad++ < 5)
            ADD_FAILURE() << "envelope " << fx.signal().envelope() << " attack "
                          << fx.getAttackCoef() << " release " << fx.getReleaseCoef() << " boost "
                          << fx.getBoost() << " fs " << fx.getFs() << " kinds " << int(kl) << ","
                          << int(kr) << " block " << blocks;
        for (int i = 0; i < 3; ++i)
            if ((!std::isfinite(fx.signal().section().yHist[i]) ||
                 !std::isfinite(fx.signal().section().xHist[i])) &&
                bad++ < 5)
                ADD_FAILURE() << "history";
        done += n;
        ++blocks;
        in.host.clearCalls();
    }
    EXPECT_EQ(bad, 0) << "seed " << seed;
    EXPECT_EQ(done, kFrames);
    RecordProperty("blocks", static_cast<int>(blocks));
}
