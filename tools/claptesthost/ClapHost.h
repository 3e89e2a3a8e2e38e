// A small CLAP host for the project's tools and tests: loads a .clap through
// its exported entry, makes instances with a host record that notes what
// they ask of it, and offers the calls a host makes: activation, blocks of
// audio with parameter events, state through streams, the editor.
#pragma once

#include "tools/host/VstHost.h"

#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>
#include <clap/plugin.h>
#include <clap/process.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace claphost {

// A loaded .clap: its entry initialised (init with the file's path), its
// plug-in factory. Deinitialised and unloaded when destroyed.
class Module {
public:
    static std::unique_ptr<Module> load(const std::string& path, std::string& error);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const clap_plugin_entry& entry() const { return *entryPoint; }
    const clap_plugin_factory* factory() const { return pluginFactory; }

private:
    Module() = default;
    std::unique_ptr<vhost::Library> library;
    const clap_plugin_entry* entryPoint = nullptr;
    const clap_plugin_factory* pluginFactory = nullptr;
};

// The host side of one instance: the record the plug-in gets, the host
// extensions it offers, and counts of what the plug-in asked. Requests may
// come on any thread.
class Host {
public:
    struct Offers {
        bool params = true;
        bool gui = true;
        bool timers = true;
    };
    Host();
    explicit Host(Offers offers);
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const clap_host* record() const { return &host; }

    std::atomic<int> flushRequests{0};
    std::atomic<int> callbackRequests{0};
    std::atomic<int> rescans{0};
    std::atomic<int> resizeRequests{0};
    std::atomic<std::uint32_t> resizeWidth{0}, resizeHeight{0};
    // Extensions asked for that the host does not know, by name.
    std::vector<std::string> unknownExtensions() const;

    // The timers the plug-in has registered: id -> period in ms (main thread).
    std::map<clap_id, std::uint32_t> timers;
    int timersRegistered = 0, timersUnregistered = 0;

    // Called within request_flush, on the requesting thread, when set.
    std::function<void()> onFlushRequest;

private:
    static const void* getExtension(const clap_host* h, const char* id);
    static Host& of(const clap_host* h) { return *static_cast<Host*>(h->host_data); }

    Offers offers;
    clap_host host{};
    clap_host_params params{};
    clap_host_gui gui{};
    clap_host_timer_support timerSupport{};
    clap_id nextTimer = 1;
    mutable std::mutex lock;
    std::vector<std::string> unknown;
};

// The events a host hands to process() or flush(): parameter values, and
// any other header a test makes (one the list does not own must outlive it).
class InputEvents {
public:
    InputEvents();
    void value(std::uint32_t time, clap_id id, double value);
    void add(const clap_event_header* event) { order.push_back(event); }
    const clap_input_events* list() const { return &events; }
    std::size_t size() const { return order.size(); }

private:
    std::deque<clap_event_param_value> values;
    std::vector<const clap_event_header*> order;
    clap_input_events events{};
};

// What a plug-in tells the host in process() or flush(), in order.
class OutputEvents {
public:
    struct Told {
        std::uint16_t type; // CLAP_EVENT_PARAM_VALUE, _GESTURE_BEGIN or _GESTURE_END
        clap_id id;
        double value; // for values
        std::uint32_t flags;
    };
    // A list that takes at most `capacity` events, as a host's full queue.
    explicit OutputEvents(std::size_t capacity = SIZE_MAX);
    const clap_output_events* list() const { return &events; }
    std::vector<Told> told;
    int refused = 0;
    int malformed = 0; // events of the right type with a wrong size or space

private:
    std::size_t capacity;
    clap_output_events events{};
};

// One instance, created and initialised; deactivated and destroyed when
// this goes. plugin is null when the factory made none.
class Instance {
public:
    Instance(const Module& module, const std::string& id, Host& host);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // The window system editors embed in here: "win32" or "x11".
    static const char* guiApiName() {
#if defined(_WIN32)
        return CLAP_WINDOW_API_WIN32;
#else
        return CLAP_WINDOW_API_X11;
#endif
    }

    const clap_plugin* plugin = nullptr;
    bool initialised = false;
    const clap_plugin_params* params = nullptr;
    const clap_plugin_state* state = nullptr;
    const clap_plugin_audio_ports* ports = nullptr;
    const clap_plugin_latency* latency = nullptr;
    const clap_plugin_gui* gui = nullptr;
    const clap_plugin_timer_support* timer = nullptr;

    bool activate(double rate, std::uint32_t maxFrames);
    void deactivate();
    bool active() const { return isActive; }
    // Lets every registered timer of `host` fire once.
    void fireTimers(Host& host);

    // The value of parameter `id` as get_value answers it; NaN when it fails.
    double value(clap_id id) const;
    std::string text(clap_id id, double value) const;

    // The state through streams that move at most `chunk` bytes per call;
    // none when save answers false.
    std::optional<std::vector<std::uint8_t>> save(std::size_t chunk = SIZE_MAX) const;
    bool load(const std::vector<std::uint8_t>& bytes, std::size_t chunk = SIZE_MAX) const;

private:
    bool isActive = false;
};

// A stream over bytes, moving at most `chunk` bytes per call; `failAt`:
// the call that answers -1 (counted from 0), none if never.
class ReadStream {
public:
    ReadStream(const std::vector<std::uint8_t>& bytes, std::size_t chunk,
               std::optional<int> failAt = std::nullopt, bool overclaim = false);
    ReadStream(const ReadStream&) = delete;
    ReadStream& operator=(const ReadStream&) = delete;
    const clap_istream* stream() const { return &s; }

private:
    static std::int64_t read(const clap_istream* s, void* buffer, std::uint64_t size);
    const std::vector<std::uint8_t>& bytes;
    std::size_t chunk, at = 0;
    std::optional<int> failAt;
    bool overclaim;
    int calls = 0;
    clap_istream s{};
};

class WriteStream {
public:
    explicit WriteStream(std::size_t chunk, std::optional<int> failAt = std::nullopt);
    WriteStream(const WriteStream&) = delete;
    WriteStream& operator=(const WriteStream&) = delete;
    const clap_ostream* stream() const { return &s; }
    std::vector<std::uint8_t> bytes;

private:
    static std::int64_t write(const clap_ostream* s, const void* buffer, std::uint64_t size);
    std::size_t chunk;
    std::optional<int> failAt;
    int calls = 0;
    clap_ostream s{};
};

// Two mono signals: the key and the audio.
struct Signal {
    std::vector<float> key, audio;
    std::size_t frames() const { return key.size(); }
};
// Both output channels.
struct Stereo {
    std::vector<float> left, right;
};

// Where a plug-in takes the key from, as its audio ports say: a second
// input port, or the left channel of its one stereo input. MonoInput gives
// that stereo input one channel, the audio, as a host with a mono track may.
enum class KeyRoute { SideChain, LeftChannel, MonoInput };

struct ValueAt {
    std::uint32_t frame; // from the start of the signal
    clap_id id;
    double value; // plain
};

// Runs the signal through an active instance in blocks of the sizes given
// (repeated until the signal ends), each value event inside the block that
// holds its frame. The key goes where `route` says; with `keyFed` false the
// host feeds the key port nothing (it passes the main input alone). Events
// that the plug-in tells the host are added to `told` when given.
std::optional<Stereo> render(Instance& instance, const Signal& signal, KeyRoute route,
                             const std::vector<std::uint32_t>& blocks,
                             const std::vector<ValueAt>& events = {}, bool keyFed = true,
                             OutputEvents* told = nullptr);

} // namespace claphost
