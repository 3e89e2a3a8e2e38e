#include "TestSupport.h"

#include "SignalSupport.h"

#include <cmath>

namespace enginetest {

namespace {
// The effect's entry as the plug-in's would be, without the version
// request: the tests count every request the effect itself makes.
AEffect* VSTCALLBACK engineMain(audioMasterCallback audioMaster) {
    return (new APlugin(audioMaster, &makeCountingEditor))->getAeffect();
}
} // namespace

EngineHost::EngineHost() : vhost::Host(&engineMain) {
    onCall = [this](const vhost::HostCall& c) -> std::optional<VstIntPtr> {
        if (c.opcode != audioMasterGetSampleRate) return std::nullopt;
        if (setRateOnRequest && c.effect)
            c.effect->dispatcher(c.effect, effSetSampleRate, 0, 0, nullptr, reportedRate);
        // The answer is an integer; a rate that has none answers 0.
        return std::isfinite(reportedRate) && std::fabs(reportedRate) < 1e15f
                   ? static_cast<VstIntPtr>(reportedRate)
                   : 0;
    };
}

Instance::Instance() : effect(static_cast<APlugin*>(AudioEffect::fromAeffect(host.open()))) {}

int Instance::count(VstInt32 opcode) const { return static_cast<int>(host.callsOf(opcode).size()); }

void Block::run(APlugin& fx, int offset, int frames) {
    if (frames < 0) frames = static_cast<int>(inL.size()) - offset;
    float* in[2] = {inL.data() + offset, inR.data() + offset};
    float* out[2] = {outL.data() + offset, outR.data() + offset};
    fx.processReplacing(in, out, frames);
}

float runConstant(APlugin& effect, float left, float right, int frames, float* outRight) {
    std::vector<float> inL(frames, left), inR(frames, right), oL(frames), oR(frames);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {oL.data(), oR.data()};
    effect.processReplacing(in, out, frames);
    if (outRight) *outRight = oR.back();
    return oL.back();
}

} // namespace enginetest
