#include "TestSupport.h"

#include <algorithm>

namespace enginetest {

FakeHost* currentHost = nullptr;

VstIntPtr VSTCALLBACK fakeHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                       VstIntPtr value, void* ptr, float opt) {
    if (!currentHost) return opcode == audioMasterVersion ? 2400 : 0;
    currentHost->calls.push_back({opcode, index, value, opt});
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetSampleRate:
        if (currentHost->setRateOnRequest && effect)
            effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, currentHost->reportedRate);
        return static_cast<VstIntPtr>(currentHost->reportedRate);
    default:
        return 0;
    }
}

Instance::Instance() {
    currentHost = &host;
    effect = std::make_unique<APlugin>(&fakeHostCallback, &makeCountingEditor);
}

Instance::~Instance() {
    effect.reset();
    currentHost = nullptr;
}

int Instance::count(VstInt32 opcode) const {
    return static_cast<int>(
        std::count_if(host.calls.begin(), host.calls.end(),
                      [&](const FakeHost::Call& c) { return c.opcode == opcode; }));
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
