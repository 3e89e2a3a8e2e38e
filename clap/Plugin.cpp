#include "clap/Plugin.h"

#include "clap/State.h"
#include "clap/Values.h"
#include "plugin/params/DecimalSeparator.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <optional>
#include <thread>

namespace clapglue {

namespace {

// Frames of the silence that stands in for an input the host does not
// feed. Longer runs are cut into pieces of this size, which gives the same
// samples: the keyed filter's output does not depend on how a signal is
// cut into blocks.
constexpr std::uint32_t kSilenceFrames = 256;
const std::array<float, kSilenceFrames> kSilence{};

// The longest piece handed to the keyed filter at once, well inside its int.
constexpr std::uint32_t kLongestPiece = 1u << 16;

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

ParamValues factoryValues() {
    ParamValues v{};
    for (const ParameterInfo& p : kParameters)
        v[static_cast<std::size_t>(p.index)] = p.factoryValue;
    return v;
}

// Copies at most size - 1 characters and always terminates.
void copyText(char* dest, std::string_view src, std::size_t size) {
    if (size == 0) return;
    const std::size_t n = std::min(src.size(), size - 1);
    std::memcpy(dest, src.data(), n);
    dest[n] = '\0';
}

// The normalised value a host's value event sets, or none where the event
// sets nothing: not a value event of the core, an id of none of the
// parameters, a value that is not a number. A value that the parameter
// holds already, in the host's terms, keeps what it holds: a dial left
// between two choices stays where the hand left it when the host sends
// the choice back.
struct EventValue {
    int index;
    float value;
};
std::optional<EventValue> eventValue(const clap_event_header* h, const ParamValues& current) {
    if (!h || h->space_id != CLAP_CORE_EVENT_SPACE_ID || h->type != CLAP_EVENT_PARAM_VALUE ||
        h->size < sizeof(clap_event_param_value))
        return std::nullopt;
    const auto& e = *reinterpret_cast<const clap_event_param_value*>(h);
    const int index = paramIndexOf(e.param_id);
    if (index < 0) return std::nullopt;
    const std::optional<float> p = normalisedValue(index, e.value);
    if (!p) return std::nullopt;
    const float held = current[static_cast<std::size_t>(index)];
    if (plainValue(index, held) == plainValue(index, *p)) return EventValue{index, held};
    return EventValue{index, *p};
}

// The channel's samples, or null where the host gives none.
const float* channel(const clap_process& p, std::uint32_t port, std::uint32_t ch) {
    if (port >= p.audio_inputs_count || !p.audio_inputs) return nullptr;
    const clap_audio_buffer& b = p.audio_inputs[port];
    if (ch >= b.channel_count || !b.data32) return nullptr;
    return b.data32[ch];
}

} // namespace

Instance::EngineHold::EngineHold(std::atomic<bool>& busy, bool wait) : busy(busy) {
    while (!(held = !busy.exchange(true, std::memory_order_acquire)) && wait)
        std::this_thread::yield();
}

Instance::EngineHold::~EngineHold() {
    if (held) busy.store(false, std::memory_order_release);
}

Instance::Instance(const clap_host& host, const PluginFace& face)
    : host(host), face(face), separator(userDecimalSeparator()), shared(factoryValues()) {
    engine.values = factoryValues();
}

Instance::~Instance() {
    guiDestroy();
    // A call still in the engine (a host that destroys while it processes)
    // finishes first.
    EngineHold hold(engineBusy, true);
}

bool Instance::init() {
    // The host's extensions may be asked for from here on, not before.
    if (!initialised && host.get_extension) {
        hostParams =
            static_cast<const clap_host_params*>(host.get_extension(&host, CLAP_EXT_PARAMS));
        hostGui = static_cast<const clap_host_gui*>(host.get_extension(&host, CLAP_EXT_GUI));
        hostTimers = static_cast<const clap_host_timer_support*>(
            host.get_extension(&host, CLAP_EXT_TIMER_SUPPORT));
    }
    initialised = true;
    return true;
}

bool Instance::activate(double sampleRate, std::uint32_t, std::uint32_t) {
    // The filter design and the follower need a positive, finite, normal
    // rate, in single precision (the range is checked before the conversion,
    // which is undefined outside it).
    if (!initialised || active.load() || !(sampleRate >= FLT_MIN && sampleRate <= FLT_MAX))
        return false;
    const float rate = static_cast<float>(sampleRate);
    if (!(rate >= FLT_MIN)) return false;
    EngineHold hold(engineBusy, true);
    const std::lock_guard<std::mutex> lock(mainLock);
    engine.rate = rate;
    // Whatever sets were written before, the engine starts from the values
    // as they stand.
    for (int i = 0; i < kNumActiveParams; ++i)
        engine.values[static_cast<std::size_t>(i)] = shared.get(i);
    ParamValues ignored;
    shared.takeSets(engine.seenSets, ignored);
    engine.stale = true;
    engine.filter = dsp::KeyedFilter();
    active.store(true, std::memory_order_release);
    return true;
}

void Instance::deactivate() {
    EngineHold hold(engineBusy, true);
    active.store(false, std::memory_order_release);
}

bool Instance::startProcessing() { return active.load(std::memory_order_acquire); }

void Instance::reset() {
    EngineHold hold(engineBusy, false);
    if (hold && active.load(std::memory_order_acquire)) engine.filter = dsp::KeyedFilter();
}

void Instance::onMainThread() {
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    if (editor) editor->mainThreadCall();
}

// ---- processing -------------------------------------------------------------

void Instance::takeMainThreadSets() {
    if (shared.takeSets(engine.seenSets, engine.values)) engine.stale = true;
}

void Instance::applyEvent(const clap_event_header* event) {
    const std::optional<EventValue> v = eventValue(event, engine.values);
    if (!v) return;
    float& held = engine.values[static_cast<std::size_t>(v->index)];
    if (held == v->value) return;
    held = v->value;
    shared.storeFromAudio(v->index, v->value);
    engine.stale = true;
}

bool Instance::buffers(const clap_process& p, Buffers& out) const {
    if (p.audio_outputs_count < 1 || !p.audio_outputs) return false;
    const clap_audio_buffer& o = p.audio_outputs[0];
    if (o.channel_count < 1 || !o.data32 || !o.data32[0]) return false;
    out.outLeft = o.data32[0];
    // A host that gives one output channel gets the result there alone.
    out.outRight = o.channel_count >= 2 && o.data32[1] ? o.data32[1] : o.data32[0];
    if (face.key == KeySource::SideChain) {
        out.audio = channel(p, kPortMainIn, 0);
        out.key = channel(p, kPortKeyIn, 0);
        return true;
    }
    // One channel only: it is both the key and the audio.
    out.key = channel(p, kPortMainIn, 0);
    const float* right = channel(p, kPortMainIn, 1);
    out.audio = right ? right : out.key;
    return true;
}

void Instance::render(const Buffers& b, std::uint32_t from, std::uint32_t frames) {
    if (engine.stale) {
        engine.controls.values = params::controlsOf(engine.values, engine.rate);
        engine.stale = false;
    }
    // The keyed filter's first input is the key, its second the audio; the
    // swap makes the second the key.
    const std::uint32_t piece = b.key && b.audio ? kLongestPiece : kSilenceFrames;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = std::min(frames - done, piece);
        const std::uint32_t at = from + done;
        engine.filter.process(b.key ? b.key + at : kSilence.data(),
                              b.audio ? b.audio + at : kSilence.data(), b.outLeft + at,
                              b.outRight + at, static_cast<int>(n), engine.controls);
        done += n;
    }
}

clap_process_status Instance::process(const clap_process& p) {
    EngineHold hold(engineBusy, false);
    if (!hold || !active.load(std::memory_order_acquire)) return CLAP_PROCESS_ERROR;
    Buffers b{};
    if (!buffers(p, b)) return CLAP_PROCESS_ERROR;
    takeMainThreadSets();
    // The block is cut at every event: an event takes effect at its frame.
    // One that claims a frame before the one reached (out of order) takes
    // effect there; one beyond the block, at its end.
    const clap_input_events* in = p.in_events;
    const std::uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    const std::uint32_t frames = p.frames_count;
    std::uint32_t next = 0, done = 0;
    while (done < frames) {
        std::uint32_t until = frames;
        for (; next < count; ++next) {
            const clap_event_header* e = in->get(in, next);
            if (e && e->time > done) {
                until = std::min(e->time, frames);
                break;
            }
            applyEvent(e);
        }
        render(b, done, until - done);
        done = until;
    }
    for (; next < count; ++next) applyEvent(in->get(in, next));
    report(p.out_events);
    return CLAP_PROCESS_CONTINUE;
}

// ---- reports to the host ------------------------------------------------------

bool Instance::pushValue(const clap_output_events& out, int index) const {
    clap_event_param_value e{};
    e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, CLAP_EVENT_IS_LIVE};
    e.param_id = kParamIds[static_cast<std::size_t>(index)];
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = plainValue(index, shared.get(index));
    return out.try_push(&out, &e.header);
}

bool Instance::pushGesture(const clap_output_events& out, const EditorReports::Gesture& g) const {
    clap_event_param_gesture e{};
    const auto type = static_cast<std::uint16_t>(g.kind == EditorReports::Kind::Begin
                                                     ? CLAP_EVENT_PARAM_GESTURE_BEGIN
                                                     : CLAP_EVENT_PARAM_GESTURE_END);
    e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, type, CLAP_EVENT_IS_LIVE};
    e.param_id = kParamIds[g.index];
    return out.try_push(&out, &e.header);
}

void Instance::report(const clap_output_events* out) {
    if (!out || !out->try_push) return;
    // What the host's list does not take now stays for the next call.
    while (const EditorReports::Gesture* g = reports.front()) {
        if (g->kind == EditorReports::Kind::End && reports.takeChanged(g->index) &&
            !pushValue(*out, g->index)) {
            reports.changed(g->index);
            return;
        }
        if (!pushGesture(*out, *g)) return;
        reports.pop();
    }
    for (int i = 0; i < kNumActiveParams; ++i)
        if (reports.takeChanged(i) && !pushValue(*out, i)) {
            reports.changed(i);
            return;
        }
}

void Instance::flush(const clap_input_events* in, const clap_output_events* out) {
    const std::uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    if (active.load(std::memory_order_acquire)) {
        // The audio thread's call, between two blocks.
        EngineHold hold(engineBusy, false);
        if (!hold) return;
        takeMainThreadSets();
        for (std::uint32_t i = 0; i < count; ++i) applyEvent(in->get(in, i));
        report(out);
        return;
    }
    // The main thread's: the values go in as one set, as a loaded state's do.
    EngineHold hold(engineBusy, true);
    {
        const std::lock_guard<std::mutex> lock(mainLock);
        shared.write([&](auto&& set) {
            ParamValues current;
            for (int i = 0; i < kNumActiveParams; ++i)
                current[static_cast<std::size_t>(i)] = shared.get(i);
            for (std::uint32_t i = 0; i < count; ++i)
                if (const std::optional<EventValue> v = eventValue(in->get(in, i), current)) {
                    current[static_cast<std::size_t>(v->index)] = v->value;
                    set(v->index, v->value);
                }
        });
    }
    report(out);
}

// ---- the editor's changes -------------------------------------------------------

void Instance::askForFlush() const {
    if (hostParams && hostParams->request_flush) hostParams->request_flush(&host);
}

void Instance::beginEdit(int index) {
    {
        const std::lock_guard<std::mutex> lock(mainLock);
        reports.begin(index);
    }
    askForFlush();
}

void Instance::edit(int index, float value) {
    {
        const std::lock_guard<std::mutex> lock(mainLock);
        shared.write([&](auto&& set) { set(index, dsp::limit(value)); });
        reports.changed(index);
    }
    askForFlush();
}

void Instance::endEdit(int index) {
    {
        const std::lock_guard<std::mutex> lock(mainLock);
        reports.end(index);
    }
    askForFlush();
}

// ---- audio ports --------------------------------------------------------------

std::uint32_t Instance::audioPortCount(bool input) const {
    if (!input) return 1;
    return face.key == KeySource::SideChain ? static_cast<std::uint32_t>(kSideChainInputs.size())
                                            : 1;
}

bool Instance::audioPortInfo(std::uint32_t index, bool input, clap_audio_port_info& info) const {
    if (index >= audioPortCount(input)) return false;
    const AudioPortFace& port = !input                             ? kOutput
                                : face.key == KeySource::SideChain ? kSideChainInputs[index]
                                                                   : kKeyLeftInput;
    info.id = port.id;
    copyText(info.name, port.name, sizeof info.name);
    info.flags = port.main ? CLAP_AUDIO_PORT_IS_MAIN : 0;
    info.channel_count = port.channels;
    info.port_type = port.channels == 2 ? CLAP_PORT_STEREO : CLAP_PORT_MONO;
    // In place: the keyed filter reads every input sample before it writes
    // its frame's outputs, so the stereo input may share the output's buffers.
    info.in_place_pair = CLAP_INVALID_ID;
    if (face.key == KeySource::LeftChannel) info.in_place_pair = input ? kPortMainOut : kPortMainIn;
    return true;
}

// ---- parameters -----------------------------------------------------------------

bool Instance::paramInfo(std::uint32_t index, clap_param_info& info) const {
    if (index >= static_cast<std::uint32_t>(kNumActiveParams)) return false;
    const int i = static_cast<int>(index);
    const ParameterInfo& p = kParameters[index];
    const PlainRange range = plainRange(i);
    info = clap_param_info{};
    info.id = kParamIds[index];
    info.flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (plainKind(i) == PlainKind::Choice) info.flags |= CLAP_PARAM_IS_STEPPED;
    info.cookie = nullptr;
    copyText(info.name, p.hostName, sizeof info.name);
    copyText(info.module, "", sizeof info.module);
    info.min_value = range.minimum;
    info.max_value = range.maximum;
    info.default_value = range.defaultValue;
    return true;
}

bool Instance::paramValue(clap_id id, double& value) const {
    const int i = paramIndexOf(id);
    if (i < 0) return false;
    value = plainValue(i, shared.get(i));
    return true;
}

bool Instance::valueToText(clap_id id, double value, char* display, std::uint32_t size) const {
    const int i = paramIndexOf(id);
    if (i < 0 || !display || size == 0) return false;
    const std::optional<std::string> text = valueText(i, value, separator);
    if (!text) return false;
    copyText(display, *text, size);
    return true;
}

bool Instance::textToValue(clap_id id, const char* display, double& value) const {
    const int i = paramIndexOf(id);
    if (i < 0 || !display) return false;
    const std::optional<double> v = textValue(i, display);
    if (!v) return false;
    value = *v;
    return true;
}

// ---- state ------------------------------------------------------------------------

bool Instance::save(const clap_ostream& stream) const {
    ParamValues values;
    for (int i = 0; i < kNumActiveParams; ++i) values[static_cast<std::size_t>(i)] = shared.get(i);
    return saveState(stream, values);
}

bool Instance::load(const clap_istream& stream) {
    const std::optional<ParamValues> values = loadState(stream);
    if (!values) return false;
    {
        const std::lock_guard<std::mutex> lock(mainLock);
        shared.write([&](auto&& set) {
            for (int i = 0; i < kNumActiveParams; ++i)
                set(i, (*values)[static_cast<std::size_t>(i)]);
        });
    }
    // The host reads the values again; the editor shows them at its next tick.
    if (hostParams && hostParams->rescan) hostParams->rescan(&host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

// ---- the editor -------------------------------------------------------------------

const char* Instance::guiApi() { return kWindowApi; }

bool Instance::guiApiSupported(const char* api, bool floating) {
    return api && !floating && std::strcmp(api, kWindowApi) == 0;
}

bool Instance::guiCreate(const char* api, bool floating) {
    if (!guiApiSupported(api, floating)) return false;
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    if (editor) return false;
    EditorLink& link = *this;
    editor = std::make_unique<Editor>(link, host, hostGui, hostTimers);
    return true;
}

void Instance::guiDestroy() {
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    // Out of reach first: the host hears the end of a gesture while the
    // editor goes, and may call back in.
    std::unique_ptr<Editor> going = std::move(editor);
}

bool Instance::guiSetScale(double scale) {
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    return editor && editor->setScale(scale);
}

bool Instance::guiSize(std::uint32_t& width, std::uint32_t& height) {
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    if (!editor) return false;
    editor->size(width, height);
    return true;
}

bool Instance::guiSetSize(std::uint32_t width, std::uint32_t height) {
    // Not resizable: only its own size fits.
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    return editor && editor->isSize(width, height);
}

bool Instance::guiSetParent(const clap_window& window) {
    if (!window.api || std::strcmp(window.api, kWindowApi) != 0) return false;
#if defined(_WIN32)
    void* parent = window.win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window.x11));
#endif
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    return editor && editor->setParent(parent);
}

bool Instance::guiShow() {
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    return editor && editor->show();
}

bool Instance::guiHide() {
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    return editor && editor->hide();
}

void Instance::onTimer(clap_id id) {
    const std::lock_guard<std::recursive_mutex> lock(guiLock);
    if (editor) editor->timer(id);
}

} // namespace clapglue
