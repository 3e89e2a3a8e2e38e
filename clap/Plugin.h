// One CLAP plug-in instance: the keyed filter behind the ports of its face
// (clap/Face.h), the eight parameters, the state and the editor. The C
// interface's entry points (clap/Entry.cpp) each call one member here.
//
// Threads. process(), and flush() and reset() while active, come on the
// host's audio thread; everything else on its main thread. The engine and
// the values it runs on are touched only by whoever holds `engineBusy`,
// which the audio thread takes without waiting (a call that finds it taken
// does nothing and says so) and the main thread waits for (activate,
// deactivate, destroy, flush while inactive): two calls never run the
// engine at once, whatever a host does. The audio thread takes no lock and
// allocates nothing. The main thread's changes of values (the editor's, a
// loaded state) reach it as whole sets (SharedValues), its gestures in
// order (EditorReports); main-thread writers are kept apart by `mainLock`,
// and the editor by `guiLock`.
#pragma once

#include "clap/Editor.h"
#include "clap/Exchange.h"
#include "clap/Face.h"
#include "plugin/dsp/Controls.h"
#include "plugin/dsp/KeyedFilter.h"

#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin.h>
#include <clap/process.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace clapglue {

class Instance final : private EditorLink {
public:
    Instance(const clap_host& host, const PluginFace& face);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // The interface's record of this instance, handed to the host.
    clap_plugin record{};

    bool init();
    bool activate(double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames);
    void deactivate();
    bool startProcessing();
    void stopProcessing() {}
    void reset();
    clap_process_status process(const clap_process& p);
    void onMainThread();

    // Audio ports.
    std::uint32_t audioPortCount(bool input) const;
    bool audioPortInfo(std::uint32_t index, bool input, clap_audio_port_info& info) const;

    // Parameters.
    std::uint32_t paramCount() const { return kNumActiveParams; }
    bool paramInfo(std::uint32_t index, clap_param_info& info) const;
    bool paramValue(clap_id id, double& value) const;
    bool valueToText(clap_id id, double value, char* display, std::uint32_t size) const;
    bool textToValue(clap_id id, const char* display, double& value) const;
    void flush(const clap_input_events* in, const clap_output_events* out);

    // State.
    bool save(const clap_ostream& stream) const;
    bool load(const clap_istream& stream);

    // The editor.
    // The window system the editor embeds in: "x11" on Linux, "win32" on Windows.
    static const char* guiApi();
    static bool guiApiSupported(const char* api, bool floating);
    bool guiCreate(const char* api, bool floating);
    void guiDestroy();
    bool guiSetScale(double scale);
    bool guiSize(std::uint32_t& width, std::uint32_t& height);
    bool guiSetSize(std::uint32_t width, std::uint32_t height);
    bool guiSetParent(const clap_window& window);
    bool guiShow();
    bool guiHide();
    void onTimer(clap_id id);

private:
    // The engine's side: touched only under engineBusy.
    struct Engine {
        ParamValues values{};       // as the audio thread applies them
        std::uint32_t seenSets = 0; // SharedValues' count of the sets taken
        bool stale = true;          // `controls` are not yet derived from `values`
        float rate = 44100.0f;      // Hz, positive and normal
        dsp::FixedControls controls;
        dsp::KeyedFilter filter;
    };
    // The host's buffers for one block; null where an input is missing.
    struct Buffers {
        const float* key;
        const float* audio;
        float* outLeft;
        float* outRight;
    };
    // Holds engineBusy for a scope: taken at once or not at all (audio
    // thread), or waited for (main thread).
    class EngineHold {
    public:
        EngineHold(std::atomic<bool>& busy, bool wait);
        ~EngineHold();
        explicit operator bool() const { return held; }

    private:
        std::atomic<bool>& busy;
        bool held = false;
    };

    bool buffers(const clap_process& p, Buffers& out) const;
    void render(const Buffers& b, std::uint32_t from, std::uint32_t frames);
    // The host's events on the engine's side: values at once, each taking
    // effect where it stands in the block.
    void applyEvent(const clap_event_header* event);
    // The editor's gestures and values to the host, as far as it takes them.
    void report(const clap_output_events* out);
    bool pushValue(const clap_output_events& out, int index) const;
    bool pushGesture(const clap_output_events& out, const EditorReports::Gesture& g) const;
    void takeMainThreadSets();

    // EditorLink: the editor's calls, on the main thread.
    float value(int index) const override { return shared.get(index); }
    void beginEdit(int index) override;
    void edit(int index, float value) override;
    void endEdit(int index) override;
    void askForFlush() const;

    const clap_host& host;
    const PluginFace& face;
    const clap_host_params* hostParams = nullptr;
    const clap_host_gui* hostGui = nullptr;
    const clap_host_timer_support* hostTimers = nullptr;
    bool initialised = false;
    std::atomic<bool> active{false};
    // The user's decimal separator for the texts, looked up once.
    const std::string separator;

    SharedValues shared;
    EditorReports reports;
    std::mutex mainLock;

    std::atomic<bool> engineBusy{false};
    Engine engine;

    std::recursive_mutex guiLock;
    std::unique_ptr<Editor> editor;
};

} // namespace clapglue
