// The library's one entry point, and what happens when the library loads.
#include "editor/APluginEditor.h"
#include "frame/DFloatingPoint.h"
#include "plugin/uPlugin.h"

namespace {
// Runs at library load, before the host can reach `main`.
struct LoadTimeSetup {
    LoadTimeSetup() { setupLibraryFloatingPoint(); }
} const loadTimeSetup;
} // namespace

// Exported as `main` (by the module definition on Windows, by the assembler
// name below elsewhere); C++ does not allow a function of that name here.
extern "C" AEffect* VSTCALLBACK velmoraMain(audioMasterCallback audioMaster) {
    FloatingPointScope fp;
    // Without a callback the host cannot be asked its version; a host that
    // passes none gets no instance rather than a crash.
    if (!audioMaster) return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    // The instance lives until the host's effClose, which destroys it.
    auto* effect = new APlugin(audioMaster, &createPluginEditor);
    return effect->getAeffect();
}

#if !defined(_WIN32)
#define VELMORA_EXPORT __attribute__((visibility("default")))
extern "C" VELMORA_EXPORT AEffect*
velmoraMainExport(audioMasterCallback audioMaster) __asm__("main");
extern "C" VELMORA_EXPORT AEffect* velmoraMainExport(audioMasterCallback audioMaster) {
    return velmoraMain(audioMaster);
}
// Linux hosts look for this name.
extern "C" VELMORA_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return velmoraMain(audioMaster);
}
#endif
