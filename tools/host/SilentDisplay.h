// A display that never answers, for the tests that an editor's opening gives
// up on one: a display number that no server uses, with a socket under it
// that accepts connections (or has stopped accepting them) and never says a
// word. POSIX only.
#pragma once

#include <string>

namespace vhost {

class SilentDisplay {
public:
    enum Kind {
        Listens,   // a local socket that accepts and stays silent
        QueueFull, // a local socket whose one-place queue is taken
        Tcp,       // a TCP port on the loopback that accepts and stays silent
    };

    // Takes the first free display number in first .. last (callers that
    // may run at once use ranges of their own).
    SilentDisplay(Kind kind, int first, int last);
    ~SilentDisplay();
    SilentDisplay(const SilentDisplay&) = delete;
    SilentDisplay& operator=(const SilentDisplay&) = delete;

    std::string name; // for DISPLAY; empty when no number was free

private:
    bool listenLocal(int n, bool fill);
    bool listenTcp(int n);

    int listener = -1;
    int filler = -1;
};

} // namespace vhost
