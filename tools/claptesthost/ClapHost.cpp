#include "tools/claptesthost/ClapHost.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace claphost {

// ---- the module ------------------------------------------------------------------

std::unique_ptr<Module> Module::load(const std::string& path, std::string& error) {
    std::unique_ptr<Module> m(new Module);
    m->library = vhost::Library::load(path, &error);
    if (!m->library) return nullptr;
    m->entryPoint = static_cast<const clap_plugin_entry*>(m->library->symbol("clap_entry"));
    if (!m->entryPoint) {
        error = "no exported clap_entry";
        return nullptr;
    }
    if (!clap_version_is_compatible(m->entryPoint->clap_version)) {
        error = "the entry's CLAP version is not 1.x";
        return nullptr;
    }
    if (!m->entryPoint->init || !m->entryPoint->init(path.c_str())) {
        error = "the entry's init failed";
        m->entryPoint = nullptr;
        return nullptr;
    }
    m->pluginFactory =
        static_cast<const clap_plugin_factory*>(m->entryPoint->get_factory(CLAP_PLUGIN_FACTORY_ID));
    return m;
}

Module::~Module() {
    if (entryPoint && entryPoint->deinit) entryPoint->deinit();
}

// ---- the host -------------------------------------------------------------------

Host::Host() : Host(Offers{}) {}

Host::Host(Offers offers) : offers(offers) {
    host.clap_version = CLAP_VERSION;
    host.host_data = this;
    host.name = "velmora-claptesthost";
    host.vendor = "Pemberly";
    host.url = "";
    host.version = "1";
    host.get_extension = getExtension;
    host.request_restart = [](const clap_host*) {};
    host.request_process = [](const clap_host*) {};
    host.request_callback = [](const clap_host* h) { ++of(h).callbackRequests; };
    params.rescan = [](const clap_host* h, clap_param_rescan_flags) { ++of(h).rescans; };
    params.clear = [](const clap_host*, clap_id, clap_param_clear_flags) {};
    params.request_flush = [](const clap_host* h) {
        Host& self = of(h);
        ++self.flushRequests;
        if (self.onFlushRequest) self.onFlushRequest();
    };
    gui.resize_hints_changed = [](const clap_host*) {};
    gui.request_resize = [](const clap_host* h, std::uint32_t w, std::uint32_t hh) {
        Host& self = of(h);
        self.resizeWidth = w;
        self.resizeHeight = hh;
        ++self.resizeRequests;
        return true;
    };
    gui.request_show = [](const clap_host*) { return false; };
    gui.request_hide = [](const clap_host*) { return false; };
    gui.closed = [](const clap_host*, bool) {};
    timerSupport.register_timer = [](const clap_host* h, std::uint32_t period, clap_id* id) {
        Host& self = of(h);
        if (!id) return false;
        *id = self.nextTimer++;
        self.timers[*id] = period;
        ++self.timersRegistered;
        return true;
    };
    timerSupport.unregister_timer = [](const clap_host* h, clap_id id) {
        Host& self = of(h);
        if (self.timers.erase(id) == 0) return false;
        ++self.timersUnregistered;
        return true;
    };
}

const void* Host::getExtension(const clap_host* h, const char* id) {
    Host& self = of(h);
    if (!id) return nullptr;
    if (self.offers.params && std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &self.params;
    if (self.offers.gui && std::strcmp(id, CLAP_EXT_GUI) == 0) return &self.gui;
    if (self.offers.timers && std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
        return &self.timerSupport;
    const std::lock_guard<std::mutex> guard(self.lock);
    self.unknown.emplace_back(id);
    return nullptr;
}

std::vector<std::string> Host::unknownExtensions() const {
    const std::lock_guard<std::mutex> guard(lock);
    return unknown;
}

// ---- events ---------------------------------------------------------------------

InputEvents::InputEvents() {
    events.ctx = this;
    events.size = [](const clap_input_events* l) {
        return static_cast<std::uint32_t>(static_cast<const InputEvents*>(l->ctx)->order.size());
    };
    events.get = [](const clap_input_events* l, std::uint32_t i) -> const clap_event_header* {
        const auto& order = static_cast<const InputEvents*>(l->ctx)->order;
        return i < order.size() ? order[i] : nullptr;
    };
}

void InputEvents::value(std::uint32_t time, clap_id id, double value) {
    clap_event_param_value e{};
    e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.cookie = nullptr;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
    values.push_back(e);
    order.push_back(&values.back().header);
}

OutputEvents::OutputEvents(std::size_t capacity) : capacity(capacity) {
    events.ctx = this;
    events.try_push = [](const clap_output_events* l, const clap_event_header* e) {
        auto& self = *static_cast<OutputEvents*>(l->ctx);
        if (!e || self.told.size() >= self.capacity) {
            ++self.refused;
            return false;
        }
        if (e->space_id != CLAP_CORE_EVENT_SPACE_ID) {
            ++self.malformed;
            return true;
        }
        if (e->type == CLAP_EVENT_PARAM_VALUE) {
            if (e->size != sizeof(clap_event_param_value)) {
                ++self.malformed;
                return true;
            }
            const auto& v = *reinterpret_cast<const clap_event_param_value*>(e);
            self.told.push_back({e->type, v.param_id, v.value, e->flags});
        } else if (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
                   e->type == CLAP_EVENT_PARAM_GESTURE_END) {
            if (e->size != sizeof(clap_event_param_gesture)) {
                ++self.malformed;
                return true;
            }
            const auto& g = *reinterpret_cast<const clap_event_param_gesture*>(e);
            self.told.push_back({e->type, g.param_id, 0.0, e->flags});
        } else {
            ++self.malformed;
        }
        return true;
    };
}

// ---- streams --------------------------------------------------------------------

ReadStream::ReadStream(const std::vector<std::uint8_t>& bytes, std::size_t chunk,
                       std::optional<int> failAt, bool overclaim)
    : bytes(bytes), chunk(std::max<std::size_t>(chunk, 1)), failAt(failAt), overclaim(overclaim) {
    s.ctx = this;
    s.read = read;
}

std::int64_t ReadStream::read(const clap_istream* s, void* buffer, std::uint64_t size) {
    auto& self = *static_cast<ReadStream*>(s->ctx);
    const int call = self.calls++;
    if (self.failAt && call >= *self.failAt) return -1;
    const std::size_t left = self.bytes.size() - self.at;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>({size, self.chunk, left}));
    if (n > 0) std::memcpy(buffer, self.bytes.data() + self.at, n);
    self.at += n;
    // A broken stream that claims more than it was asked for.
    if (self.overclaim && n > 0) return static_cast<std::int64_t>(size) + 1;
    return static_cast<std::int64_t>(n);
}

WriteStream::WriteStream(std::size_t chunk, std::optional<int> failAt)
    : chunk(std::max<std::size_t>(chunk, 1)), failAt(failAt) {
    s.ctx = this;
    s.write = write;
}

std::int64_t WriteStream::write(const clap_ostream* s, const void* buffer, std::uint64_t size) {
    auto& self = *static_cast<WriteStream*>(s->ctx);
    const int call = self.calls++;
    if (self.failAt && call >= *self.failAt) return -1;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, self.chunk));
    const auto* b = static_cast<const std::uint8_t*>(buffer);
    self.bytes.insert(self.bytes.end(), b, b + n);
    return static_cast<std::int64_t>(n);
}

// ---- instances ------------------------------------------------------------------

Instance::Instance(const Module& module, const std::string& id, Host& host) {
    const clap_plugin_factory* f = module.factory();
    if (!f) return;
    plugin = f->create_plugin(f, host.record(), id.c_str());
    if (!plugin) return;
    initialised = plugin->init(plugin);
    const auto ext = [this](const char* name) { return plugin->get_extension(plugin, name); };
    params = static_cast<const clap_plugin_params*>(ext(CLAP_EXT_PARAMS));
    state = static_cast<const clap_plugin_state*>(ext(CLAP_EXT_STATE));
    ports = static_cast<const clap_plugin_audio_ports*>(ext(CLAP_EXT_AUDIO_PORTS));
    latency = static_cast<const clap_plugin_latency*>(ext(CLAP_EXT_LATENCY));
    gui = static_cast<const clap_plugin_gui*>(ext(CLAP_EXT_GUI));
    timer = static_cast<const clap_plugin_timer_support*>(ext(CLAP_EXT_TIMER_SUPPORT));
}

Instance::~Instance() {
    if (!plugin) return;
    deactivate();
    plugin->destroy(plugin);
}

bool Instance::activate(double rate, std::uint32_t maxFrames) {
    if (isActive) return false;
    isActive = plugin->activate(plugin, rate, 1, maxFrames);
    if (isActive) plugin->start_processing(plugin);
    return isActive;
}

void Instance::deactivate() {
    if (!isActive) return;
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    isActive = false;
}

void Instance::fireTimers(Host& host) {
    if (!timer) return;
    // A copy: the plug-in may register or unregister timers from on_timer.
    const auto timers = host.timers;
    for (const auto& [id, period] : timers) timer->on_timer(plugin, id);
}

double Instance::value(clap_id id) const {
    double v = 0.0;
    if (!params || !params->get_value(plugin, id, &v))
        return std::numeric_limits<double>::quiet_NaN();
    return v;
}

std::string Instance::text(clap_id id, double value) const {
    char buf[CLAP_NAME_SIZE] = {};
    if (!params || !params->value_to_text(plugin, id, value, buf, sizeof buf)) return "(none)";
    return buf;
}

std::optional<std::vector<std::uint8_t>> Instance::save(std::size_t chunk) const {
    WriteStream w(chunk);
    if (!state || !state->save(plugin, w.stream())) return std::nullopt;
    return w.bytes;
}

bool Instance::load(const std::vector<std::uint8_t>& bytes, std::size_t chunk) const {
    ReadStream r(bytes, chunk);
    return state && state->load(plugin, r.stream());
}

// ---- rendering ------------------------------------------------------------------

std::optional<Stereo> render(Instance& instance, const Signal& signal, KeyRoute route,
                             const std::vector<std::uint32_t>& blocks,
                             const std::vector<ValueAt>& events, bool keyFed, OutputEvents* told) {
    const std::size_t frames = signal.frames();
    Stereo out;
    out.left.assign(frames, 0.0f);
    out.right.assign(frames, 0.0f);
    // The host's buffers are its own, as a host's are: the inputs copied in
    // per block, the outputs copied out.
    std::uint32_t longest = 1;
    for (std::uint32_t b : blocks) longest = std::max(longest, b);
    std::vector<float> in0(longest), in1(longest), o0(longest), o1(longest);
    std::size_t at = 0, nextEvent = 0, blockIndex = 0;
    while (at < frames) {
        const std::uint32_t n = static_cast<std::uint32_t>(
            std::min<std::size_t>(std::max<std::uint32_t>(blocks[blockIndex], 1), frames - at));
        blockIndex = (blockIndex + 1) % blocks.size();
        InputEvents in;
        while (nextEvent < events.size() && events[nextEvent].frame < at + n) {
            const ValueAt& e = events[nextEvent++];
            in.value(static_cast<std::uint32_t>(e.frame > at ? e.frame - at : 0), e.id, e.value);
        }
        float* monoAudio[] = {in0.data()};
        float* monoKey[] = {in1.data()};
        float* stereoIn[] = {in0.data(), in1.data()};
        float* stereoOut[] = {o0.data(), o1.data()};
        clap_audio_buffer inputs[2]{};
        std::uint32_t inputCount = 1;
        if (route == KeyRoute::SideChain) {
            std::copy_n(signal.audio.begin() + at, n, in0.begin());
            std::copy_n(signal.key.begin() + at, n, in1.begin());
            inputs[0] = {monoAudio, nullptr, 1, 0, 0};
            inputs[1] = {monoKey, nullptr, 1, 0, 0};
            if (keyFed) inputCount = 2;
        } else if (route == KeyRoute::LeftChannel) {
            std::copy_n(signal.key.begin() + at, n, in0.begin());
            std::copy_n(signal.audio.begin() + at, n, in1.begin());
            inputs[0] = {stereoIn, nullptr, 2, 0, 0};
        } else {
            std::copy_n(signal.audio.begin() + at, n, in0.begin());
            inputs[0] = {monoAudio, nullptr, 1, 0, 0};
        }
        clap_audio_buffer outputs[1]{{stereoOut, nullptr, 2, 0, 0}};
        OutputEvents discard;
        clap_process p{};
        p.steady_time = static_cast<std::int64_t>(at);
        p.frames_count = n;
        p.transport = nullptr;
        p.audio_inputs = inputs;
        p.audio_outputs = outputs;
        p.audio_inputs_count = inputCount;
        p.audio_outputs_count = 1;
        p.in_events = in.list();
        p.out_events = told ? told->list() : discard.list();
        if (instance.plugin->process(instance.plugin, &p) != CLAP_PROCESS_CONTINUE)
            return std::nullopt;
        std::copy_n(o0.begin(), n, out.left.begin() + at);
        std::copy_n(o1.begin(), n, out.right.begin() + at);
        at += n;
    }
    return out;
}

} // namespace claphost
