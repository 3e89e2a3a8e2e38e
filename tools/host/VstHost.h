// A small VST 2 host for tools and tests: loads a plug-in binary, calls its
// exported `main` with a callback that records every request, and offers
// typed helpers for the dispatcher, parameters and processing.
#pragma once

#include "frame/DAEffectX.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vhost {

using MainProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

// A loaded plug-in binary (dlopen / LoadLibrary); unloads when destroyed.
class Library {
public:
    // Null and a message in `error` when the file cannot be loaded.
    static std::unique_ptr<Library> load(const std::string& path, std::string* error = nullptr);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The address of an exported function, or null.
    void* symbol(const char* name) const;
    MainProc mainEntry() const { return reinterpret_cast<MainProc>(symbol("main")); }
    // The entry a host uses: VSTPluginMain where the binary exports it
    // (Linux plug-ins), else main.
    MainProc pluginEntry() const {
        if (void* p = symbol("VSTPluginMain")) return reinterpret_cast<MainProc>(p);
        return mainEntry();
    }

private:
    explicit Library(void* handle) : handle(handle) {}
    void* handle;
};

// One request from the effect to the host, as the callback received it.
struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// One effect instance and the host side of it. Every request that reaches
// the callback is recorded, then answered by `onCall` if it gives an answer,
// else by the defaults below. The callback may arrive on any thread.
class Host {
public:
    explicit Host(MainProc entry);
    ~Host(); // closes the instance if it is still open
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Calls `main` with this host's callback; the record, or null.
    AEffect* open();
    AEffect* effect() const { return fx; }
    // Hosts an effect that its owner made in this process with `callback()`
    // (a test's own effect class): requests from it reach this host, which
    // neither closes nor destroys it.
    void attach(AEffect* effect);
    // The callback every Host hands its effects; it finds the Host by the
    // effect's record.
    static audioMasterCallback callback() { return &Host::hostCallback; }

    // Default answers.
    VstIntPtr versionAnswer = 2400;     // audioMasterVersion
    VstIntPtr sampleRateAnswer = 44100; // audioMasterGetSampleRate
    VstIntPtr blockSizeAnswer = 512;    // audioMasterGetBlockSize
    // Whether requests are recorded; a long run turns it off so that the
    // log does not grow without bound.
    bool keepLog = true;
    // Custom answer for a request; nullopt falls back to the defaults.
    std::function<std::optional<VstIntPtr>(const HostCall&)> onCall;

    // Requests received so far (copy, taken under the lock).
    std::vector<HostCall> calls() const;
    std::vector<HostCall> callsOf(VstInt32 opcode) const;
    void clearCalls(); // and gives the log's memory back

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    void processReplacing(float** inputs, float** outputs, VstInt32 frames);
    void process(float** inputs, float** outputs, VstInt32 frames);

    // Typed helpers over the dispatcher.
    void setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
    void setBlockSize(VstInt32 frames) { dispatch(effSetBlockSize, 0, frames); }
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void suspend() { dispatch(effMainsChanged, 0, 0); }
    void setProgram(VstInt32 program) { dispatch(effSetProgram, 0, program); }
    VstInt32 getProgram() { return static_cast<VstInt32>(dispatch(effGetProgram)); }
    // Text written by a string opcode (effGetEffectName, effGetParamName, ...)
    // into a zeroed buffer of `size` bytes.
    std::string getString(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                          std::size_t size = 256);
    VstIntPtr canDo(const char* text);

    // effClose: the record is gone afterwards. Answers what the plug-in answered.
    VstIntPtr close();

private:
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr value, void* ptr, float opt);
    void forget(AEffect* effect);
    VstIntPtr answer(const HostCall& call);

    MainProc entry;
    AEffect* fx = nullptr;
    bool owned = false; // opened through `main`: effClose ends it
    mutable std::mutex lock;
    std::vector<HostCall> log;
};

} // namespace vhost
