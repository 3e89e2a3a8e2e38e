// Prints the effect record of a plug-in binary as a host sees it, field by
// field at its offset, and the answers to the host's description requests.
//   velmora-info PLUGIN
//   velmora-info --version
#include "tools/Version.h"
#include "tools/host/VstHost.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string codeText(VstInt32 code) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

template <typename T> void field(const char* name, std::size_t offset, T value) {
    std::printf("  %3zu  %-18s %lld\n", offset, name, static_cast<long long>(value));
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("velmora-info %s\n", VELMORA_VERSION);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-info PLUGIN\n       velmora-info --version\n");
        return 2;
    }
    std::string error;
    auto library = vhost::Library::load(argv[1], &error);
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    vhost::MainProc entry = library->mainEntry();
    if (!entry) {
        std::fprintf(stderr, "%s exports no function named main\n", argv[1]);
        return 1;
    }
    vhost::Host host(entry);
    AEffect* e = host.open();
    if (!e) {
        std::fprintf(stderr, "main returned no effect\n");
        return 1;
    }

    std::printf("%s (velmora-info %s)\n", argv[1], VELMORA_VERSION);
    std::printf("  record: %zu bytes at %p (pointer size %zu)\n", sizeof(AEffect),
                static_cast<void*>(e), sizeof(void*));
    std::printf("  %3zu  %-18s 0x%08X \"%s\"\n", offsetof(AEffect, magic), "magic",
                static_cast<unsigned>(e->magic), codeText(e->magic).c_str());
    field("numPrograms", offsetof(AEffect, numPrograms), e->numPrograms);
    field("numParams", offsetof(AEffect, numParams), e->numParams);
    field("numInputs", offsetof(AEffect, numInputs), e->numInputs);
    field("numOutputs", offsetof(AEffect, numOutputs), e->numOutputs);
    std::printf("  %3zu  %-18s %d (0x%X)\n", offsetof(AEffect, flags), "flags", e->flags,
                static_cast<unsigned>(e->flags));
    field("initialDelay", offsetof(AEffect, initialDelay), e->initialDelay);
    std::printf("  %3zu  %-18s %g\n", offsetof(AEffect, ioRatio), "ioRatio", e->ioRatio);
    std::printf("  %3zu  %-18s 0x%08X \"%s\"\n", offsetof(AEffect, uniqueID), "uniqueID",
                static_cast<unsigned>(e->uniqueID), codeText(e->uniqueID).c_str());
    field("version", offsetof(AEffect, version), e->version);
    bool futureZero = true;
    for (char c : e->future) futureZero = futureZero && c == 0;
    std::printf("  %3zu  %-18s %s\n", offsetof(AEffect, future), "future",
                futureZero ? "all zero" : "NOT ZERO");

    std::printf("  effect name      \"%s\"\n", host.getString(effGetEffectName).c_str());
    std::printf("  vendor           \"%s\"\n", host.getString(effGetVendorString).c_str());
    std::printf("  product          \"%s\"\n", host.getString(effGetProductString).c_str());
    std::printf("  vendor version   %lld\n",
                static_cast<long long>(host.dispatch(effGetVendorVersion)));
    std::printf("  VST version      %lld\n",
                static_cast<long long>(host.dispatch(effGetVstVersion)));
    ERect* rect = nullptr;
    if (host.dispatch(effEditGetRect, 0, 0, &rect) && rect)
        std::printf("  editor rect      %d x %d\n", rect->right - rect->left,
                    rect->bottom - rect->top);
    std::printf("  programs        ");
    for (VstInt32 i = 0; i < e->numPrograms; ++i)
        std::printf(" \"%s\"", host.getString(effGetProgramNameIndexed, i, 0, 64).c_str());
    std::printf("\n  parameters      ");
    for (VstInt32 i = 0; i < 8 && i < e->numParams; ++i)
        std::printf(" %d:\"%s\"=%g", i, host.getString(effGetParamName, i).c_str(),
                    host.getParameter(i));
    std::printf("\n");
    host.close();
    return 0;
}
