// A minimal effect and editor over the frame that record which virtual
// operations the dispatcher reached and with which arguments, hosted by the
// host library's host, which records every request.
#pragma once

#include "frame/DAudioEffectX.h"
#include "tools/host/VstHost.h"

#include <functional>
#include <string>
#include <vector>

using HostRequest = vhost::HostCall;

// Answers every request with `answer`, or with what `respond` says when it
// is set; the effect under test is attached to it, not loaded.
struct RecordingHost : vhost::Host {
    VstIntPtr answer = 0;
    std::function<VstIntPtr(const HostRequest&)> respond; // overrides `answer`

    RecordingHost() : vhost::Host(nullptr) {
        onCall = [this](const HostRequest& r) -> std::optional<VstIntPtr> {
            return respond ? respond(r) : answer;
        };
    }
    std::vector<HostRequest> requests() const { return calls(); }
};

struct Call {
    std::string name;
    VstInt32 i1 = 0;
    VstIntPtr i2 = 0;
    const void* p = nullptr;
    float f = 0.0f;
    bool b = false;
};

class ProbeEditor : public AEffEditor {
public:
    explicit ProbeEditor(AudioEffect* fx, int* destroyed = nullptr)
        : AEffEditor(fx), destroyed(destroyed) {}
    ~ProbeEditor() override {
        if (destroyed) ++*destroyed;
    }
    void update() override { ++updates; }
    void* parent() const { return systemWindow; }
    int updates = 0;
    int* destroyed;
};

class ProbeEffect : public AudioEffectX {
public:
    explicit ProbeEffect(audioMasterCallback host, int* destroyed = nullptr)
        : AudioEffectX(host, 4, 10), destroyed(destroyed) {}
    // Made with the host's callback and attached to the host.
    explicit ProbeEffect(RecordingHost& host) : ProbeEffect(vhost::Host::callback()) {
        host.attach(getAeffect());
    }
    ~ProbeEffect() override {
        if (destroyed) ++*destroyed;
    }

    std::vector<Call> calls;
    float vu = 0.0f;
    int* destroyed;

    void record(const char* n, VstInt32 a = 0, VstIntPtr b = 0, const void* p = nullptr,
                float f = 0.0f, bool flag = false) {
        calls.push_back({n, a, b, p, f, flag});
    }
    bool reached(const std::string& n) const {
        for (const auto& c : calls)
            if (c.name == n) return true;
        return false;
    }

    void process(float**, float**, VstInt32 n) override { record("process", n); }
    void processReplacing(float**, float**, VstInt32 n) override { record("processReplacing", n); }
    void setParameter(VstInt32 i, float v) override { record("setParameter", i, 0, nullptr, v); }
    float getParameter(VstInt32 i) override { return 0.25f * static_cast<float>(i); }
    void open() override { record("open"); }
    void close() override { record("close"); }
    void setProgram(VstInt32 p) override {
        record("setProgram", p);
        AudioEffectX::setProgram(p);
    }
    void setProgramName(char* n) override { record("setProgramName", 0, 0, n); }
    void getProgramName(char* n) override { record("getProgramName", 0, 0, n); }
    void getParameterLabel(VstInt32 i, char* t) override { record("getParameterLabel", i, 0, t); }
    void getParameterDisplay(VstInt32 i, char* t) override {
        record("getParameterDisplay", i, 0, t);
    }
    void getParameterName(VstInt32 i, char* t) override { record("getParameterName", i, 0, t); }
    float getVu() override { return vu; }
    VstInt32 getChunk(void** d, bool preset) override {
        record("getChunk", 0, 0, d, 0, preset);
        return 77;
    }
    VstInt32 setChunk(void* d, VstInt32 size, bool preset) override {
        record("setChunk", size, 0, d, 0, preset);
        return 78;
    }
    void suspend() override { record("suspend"); }
    void resume() override { record("resume"); }
    VstInt32 processEvents(VstEvents* e) override {
        record("processEvents", 0, 0, e);
        return 5;
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override {
        record("getProgramNameIndexed", index, category, text);
        return true;
    }
    VstInt32 canDo(char* text) override {
        record("canDo", 0, 0, text);
        return 1;
    }
    bool setViewPosition(VstInt32 x, VstInt32 y) override {
        record("setViewPosition", x, y);
        return true;
    }

    // Expose the protected state for the tests.
    using AudioEffect::callHost;
    VstInt32 flags() { return getAeffect()->flags; }
    VstInt32 currentProgram() const { return curProgram; }
};
