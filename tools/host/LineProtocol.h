// The line protocol of the test hosts (Win32, X11, LV2 UI): commands come one
// per line on standard input, answers go one per line to standard output,
// flushed at once, so that the real-window scripts read them as they come.
#pragma once

#include "tools/host/VstHost.h"

#include <functional>
#include <optional>
#include <string>

namespace vhost {

// Milliseconds on the steady clock: the hosts' idle and timer schedules.
long long nowMs();

// One answer line, printf-style.
void say(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A plug-in's automate, begin-edit and end-edit requests as the hosts print
// them ("automate INDEX VALUE", "beginedit INDEX", "endedit INDEX", each
// word followed by `suffix`: "" for the first instance, "2" for a second),
// with the host's answer; none for every other request.
std::optional<VstIntPtr> reportGesture(const HostCall& call, const char* suffix);

// The commands "set INDEX VALUE" (from a thread of the host's own) and
// "playset INDEX VALUE" (on the audio thread between two blocks), answered
// "set INDEX VALUE" or "played INDEX VALUE"; without an instance only the
// answer.
void runSetCommand(Host* host, bool whileProcessing, VstInt32 index, float value);

// Bytes read from standard input, cut into command lines (line ends and
// trailing blanks taken off, empty lines left out) that go to `run` in
// order while it answers true. Returns what the last call of `run` answered.
class CommandLines {
public:
    bool feed(const char* bytes, std::size_t n, const std::function<bool(const std::string&)>& run);

private:
    std::string pending;
};

} // namespace vhost
