// The CLAP interface of velmora.clap: the exported entry, the factory of
// the two plug-ins and every function a host calls, each a single call of
// the instance it names (clap/Plugin.h). Every way in from a host passes
// through this file, one function per entry point.
//
// Each call that reaches an instance runs with every floating-point
// exception masked (FloatingPointScope), whatever the host has unmasked, as
// the VST 2 and LV2 plug-ins' calls do.
//
// Nothing here keeps state between calls: init and deinit have nothing to
// set up or take down, so a host may pair them as often as it likes, and
// every instance is on its own.
#include "clap/Face.h"
#include "clap/Plugin.h"
#include "frame/DFloatingPoint.h"

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>
#include <clap/plugin-features.h>

#include <cstring>
#include <memory>

#ifndef VELMORA_VERSION
#error "VELMORA_VERSION: the project's version, set by the build"
#endif

namespace {

using clapglue::Instance;
using clapglue::kPlugins;

Instance& self(const clap_plugin* p) { return *static_cast<Instance*>(p->plugin_data); }

// ---- the plug-in ---------------------------------------------------------------

bool init(const clap_plugin* p) {
    FloatingPointScope fp;
    return self(p).init();
}
void destroy(const clap_plugin* p) {
    FloatingPointScope fp;
    delete &self(p);
}
bool activate(const clap_plugin* p, double rate, std::uint32_t minFrames, std::uint32_t maxFrames) {
    FloatingPointScope fp;
    return self(p).activate(rate, minFrames, maxFrames);
}
void deactivate(const clap_plugin* p) {
    FloatingPointScope fp;
    self(p).deactivate();
}
bool startProcessing(const clap_plugin* p) {
    FloatingPointScope fp;
    return self(p).startProcessing();
}
void stopProcessing(const clap_plugin* p) {
    FloatingPointScope fp;
    self(p).stopProcessing();
}
void reset(const clap_plugin* p) {
    FloatingPointScope fp;
    self(p).reset();
}
clap_process_status process(const clap_plugin* p, const clap_process* pr) {
    FloatingPointScope fp;
    return pr ? self(p).process(*pr) : CLAP_PROCESS_ERROR;
}
void onMainThread(const clap_plugin* p) {
    FloatingPointScope fp;
    self(p).onMainThread();
}
const void* extension(const clap_plugin* p, const char* id);

// ---- audio ports --------------------------------------------------------------

std::uint32_t audioPortCount(const clap_plugin* p, bool input) {
    FloatingPointScope fp;
    return self(p).audioPortCount(input);
}
bool audioPortGet(const clap_plugin* p, std::uint32_t index, bool input,
                  clap_audio_port_info* info) {
    FloatingPointScope fp;
    return info && self(p).audioPortInfo(index, input, *info);
}
const clap_plugin_audio_ports kAudioPorts{audioPortCount, audioPortGet};

// ---- parameters -----------------------------------------------------------------

std::uint32_t paramCount(const clap_plugin* p) {
    FloatingPointScope fp;
    return self(p).paramCount();
}
bool paramInfo(const clap_plugin* p, std::uint32_t index, clap_param_info* info) {
    FloatingPointScope fp;
    return info && self(p).paramInfo(index, *info);
}
bool paramValue(const clap_plugin* p, clap_id id, double* value) {
    FloatingPointScope fp;
    return value && self(p).paramValue(id, *value);
}
bool valueToText(const clap_plugin* p, clap_id id, double value, char* display,
                 std::uint32_t size) {
    FloatingPointScope fp;
    return self(p).valueToText(id, value, display, size);
}
bool textToValue(const clap_plugin* p, clap_id id, const char* display, double* value) {
    FloatingPointScope fp;
    return value && self(p).textToValue(id, display, *value);
}
void flush(const clap_plugin* p, const clap_input_events* in, const clap_output_events* out) {
    FloatingPointScope fp;
    self(p).flush(in, out);
}
const clap_plugin_params kParams{paramCount,  paramInfo,   paramValue,
                                 valueToText, textToValue, flush};

// ---- state -------------------------------------------------------------------------

bool stateSave(const clap_plugin* p, const clap_ostream* s) {
    FloatingPointScope fp;
    return s && self(p).save(*s);
}
bool stateLoad(const clap_plugin* p, const clap_istream* s) {
    FloatingPointScope fp;
    return s && self(p).load(*s);
}
const clap_plugin_state kState{stateSave, stateLoad};

// ---- latency: none; the filter works sample by sample ---------------------------

std::uint32_t latency(const clap_plugin*) { return 0; }
const clap_plugin_latency kLatency{latency};

// ---- the editor ----------------------------------------------------------------------

bool guiApiSupported(const clap_plugin*, const char* api, bool floating) {
    return Instance::guiApiSupported(api, floating);
}
bool guiPreferredApi(const clap_plugin*, const char** api, bool* floating) {
    if (!api || !floating) return false;
    *api = Instance::guiApi();
    *floating = false;
    return true;
}
bool guiCreate(const clap_plugin* p, const char* api, bool floating) {
    FloatingPointScope fp;
    return self(p).guiCreate(api, floating);
}
void guiDestroy(const clap_plugin* p) {
    FloatingPointScope fp;
    self(p).guiDestroy();
}
bool guiSetScale(const clap_plugin* p, double scale) {
    FloatingPointScope fp;
    return self(p).guiSetScale(scale);
}
bool guiGetSize(const clap_plugin* p, std::uint32_t* width, std::uint32_t* height) {
    FloatingPointScope fp;
    return width && height && self(p).guiSize(*width, *height);
}
bool guiCanResize(const clap_plugin*) { return false; }
// A fixed size, said as hints too: hosts that ask (Qtractor does) need not guess.
bool guiResizeHints(const clap_plugin*, clap_gui_resize_hints* hints) {
    if (!hints) return false;
    *hints = {false, false, false, 0, 0};
    return true;
}
bool guiAdjustSize(const clap_plugin*, std::uint32_t*, std::uint32_t*) { return false; }
bool guiSetSize(const clap_plugin* p, std::uint32_t width, std::uint32_t height) {
    FloatingPointScope fp;
    return self(p).guiSetSize(width, height);
}
bool guiSetParent(const clap_plugin* p, const clap_window* window) {
    FloatingPointScope fp;
    return window && self(p).guiSetParent(*window);
}
// Embedded only: no floating window.
bool guiSetTransient(const clap_plugin*, const clap_window*) { return false; }
void guiSuggestTitle(const clap_plugin*, const char*) {}
bool guiShow(const clap_plugin* p) {
    FloatingPointScope fp;
    return self(p).guiShow();
}
bool guiHide(const clap_plugin* p) {
    FloatingPointScope fp;
    return self(p).guiHide();
}
const clap_plugin_gui kGui{guiApiSupported, guiPreferredApi, guiCreate,    guiDestroy,
                           guiSetScale,     guiGetSize,      guiCanResize, guiResizeHints,
                           guiAdjustSize,   guiSetSize,      guiSetParent, guiSetTransient,
                           guiSuggestTitle, guiShow,         guiHide};

void onTimer(const clap_plugin* p, clap_id id) {
    FloatingPointScope fp;
    self(p).onTimer(id);
}
const clap_plugin_timer_support kTimerSupport{onTimer};

const void* extension(const clap_plugin*, const char* id) {
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimerSupport;
    return nullptr;
}

// ---- the factory ------------------------------------------------------------------------

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_FILTER,
                                 nullptr};

constexpr clap_plugin_descriptor describe(const clapglue::PluginFace& face) {
    return {CLAP_VERSION_INIT,
            face.id.data(),
            face.name.data(),
            clapglue::kVendor.data(),
            "",
            "",
            "",
            VELMORA_VERSION,
            face.description.data(),
            const_cast<const char**>(kFeatures)};
}

// The faces' texts are literals: their views end in a terminating zero.
const clap_plugin_descriptor kDescriptors[] = {describe(kPlugins[0]), describe(kPlugins[1])};
static_assert(std::size(kDescriptors) == kPlugins.size());

std::uint32_t pluginCount(const clap_plugin_factory*) {
    return static_cast<std::uint32_t>(std::size(kDescriptors));
}

const clap_plugin_descriptor* pluginDescriptor(const clap_plugin_factory*, std::uint32_t index) {
    return index < std::size(kDescriptors) ? &kDescriptors[index] : nullptr;
}

const clap_plugin* createPlugin(const clap_plugin_factory*, const clap_host* host, const char* id) {
    FloatingPointScope fp;
    if (!host || !id || !clap_version_is_compatible(host->clap_version)) return nullptr;
    for (std::size_t i = 0; i < kPlugins.size(); ++i) {
        if (std::strcmp(id, kDescriptors[i].id) != 0) continue;
        std::unique_ptr<Instance> made;
        try {
            made = std::make_unique<Instance>(*host, kPlugins[i]);
        } catch (...) {
            // Out of memory: no instance, and nothing thrown into the host.
            return nullptr;
        }
        made->record = {&kDescriptors[i], made.get(),     init,  destroy, activate,  deactivate,
                        startProcessing,  stopProcessing, reset, process, extension, onMainThread};
        // From here the host owns the instance and ends it with destroy().
        return &made.release()->record;
    }
    return nullptr;
}

const clap_plugin_factory kFactory{pluginCount, pluginDescriptor, createPlugin};

// ---- the entry ------------------------------------------------------------------------

bool entryInit(const char*) { return true; }
void entryDeinit() {}
const void* entryFactory(const char* id) {
    return id && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

} // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry clap_entry{CLAP_VERSION_INIT, entryInit, entryDeinit,
                                                          entryFactory};
