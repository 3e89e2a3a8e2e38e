// Test-side host and editor stand-ins for driving APlugin directly.
#pragma once

#include "plugin/uPlugin.h"

#include <atomic>
#include <memory>
#include <vector>

namespace enginetest {

// Counts the update() calls that reach the stand-in editor created by the
// effect's constructor (see EditorStandIn.cpp); zero it before a case.
extern std::atomic<int> editorUpdates;
extern std::atomic<int> editorsAlive;
// The stand-in editor's factory, which every Instance's effect is made with.
std::unique_ptr<AEffEditor> makeCountingEditor(APlugin& effect);

// A host callback for one effect at a time: answers the version request,
// records the opcodes it receives, and on audioMasterGetSampleRate may call
// effSetSampleRate back with `reportedRate` when it is set.
struct FakeHost {
    struct Call {
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        float opt;
    };
    std::vector<Call> calls;
    bool setRateOnRequest = false;
    float reportedRate = 44100.0f;
};
extern FakeHost* currentHost;

VstIntPtr VSTCALLBACK fakeHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                       VstIntPtr value, void* ptr, float opt);

// A fresh effect on a fresh FakeHost.
struct Instance {
    FakeHost host;
    std::unique_ptr<APlugin> effect;
    Instance();
    ~Instance();
    int count(VstInt32 opcode) const;
};

// Runs `frames` frames of constant input through the effect in one block;
// returns the left output of the last frame and checks nothing.
float runConstant(APlugin& effect, float left, float right, int frames, float* outRight = nullptr);

} // namespace enginetest
