#include "tools/host/LineProtocol.h"

#include "tools/host/HostChanges.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>

namespace vhost {

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::optional<VstIntPtr> reportGesture(const HostCall& c, const char* suffix) {
    if (c.opcode == audioMasterAutomate) {
        say("automate%s %d %.6f", suffix, c.index, static_cast<double>(c.opt));
        return 0;
    }
    if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit) {
        say("%s%s %d", c.opcode == audioMasterBeginEdit ? "beginedit" : "endedit", suffix, c.index);
        return 1;
    }
    return std::nullopt;
}

void runSetCommand(Host* host, bool whileProcessing, VstInt32 index, float value) {
    if (host) {
        if (whileProcessing)
            setWhileProcessing(*host, index, value);
        else
            setFromOwnThread(*host, index, value);
    }
    say("%s %d %.6f", whileProcessing ? "played" : "set", index, static_cast<double>(value));
}

bool CommandLines::feed(const char* bytes, std::size_t n,
                        const std::function<bool(const std::string&)>& run) {
    pending.append(bytes, n);
    bool running = true;
    for (std::size_t eol; running && (eol = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, eol);
        pending.erase(0, eol + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) running = run(line);
    }
    return running;
}

} // namespace vhost
