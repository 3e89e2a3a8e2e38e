// Test-side host and editor stand-ins for driving APlugin directly. The host
// is the host library's, so that the engine's tests hear and answer the
// effect's requests exactly as the tests that load the built binary do.
#pragma once

#include "plugin/uPlugin.h"
#include "tools/host/VstHost.h"

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

// The host library's host, with one habit of real hosts: on
// audioMasterGetSampleRate it may call effSetSampleRate back with
// `reportedRate` before it answers.
struct EngineHost : vhost::Host {
    EngineHost();
    bool setRateOnRequest = false;
    float reportedRate = 44100.0f;
};

// A fresh effect made in this process (with the counting editor) and hosted
// by a fresh EngineHost; the host's effClose ends it with the Instance.
struct Instance {
    EngineHost host;
    APlugin* effect;
    Instance();
    int count(VstInt32 opcode) const;
};

// Runs `frames` frames of constant input through the effect in one block;
// returns the left output of the last frame and checks nothing.
float runConstant(APlugin& effect, float left, float right, int frames, float* outRight = nullptr);

} // namespace enginetest
