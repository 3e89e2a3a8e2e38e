#include "tools/host/SilentDisplay.h"

#if !defined(_WIN32)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vhost {

SilentDisplay::SilentDisplay(Kind kind, int first, int last) {
    for (int n = first; n <= last && listener < 0; ++n) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string file = "/tmp/.X11-unix/X" + std::to_string(n);
        if (access(lock.c_str(), F_OK) == 0 || access(file.c_str(), F_OK) == 0) continue;
        if (kind == Tcp ? listenTcp(n) : listenLocal(n, kind == QueueFull))
            name = (kind == Tcp ? "127.0.0.1:" : ":") + std::to_string(n);
    }
}

SilentDisplay::~SilentDisplay() {
    if (filler >= 0) close(filler);
    if (listener >= 0) close(listener);
}

// Linux's abstract name, which a client tries first: no file is left behind.
bool SilentDisplay::listenLocal(int n, bool fill) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
    std::memcpy(a.sun_path + 1, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), length) != 0 || listen(s, 0) != 0) {
        close(s);
        return false;
    }
    listener = s;
    if (!fill) return true;
    // A queue of one, taken: the next connection finds nobody accepting.
    filler = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return connect(filler, reinterpret_cast<sockaddr*>(&a), length) == 0;
}

bool SilentDisplay::listenTcp(int n) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(6000 + n));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 8) != 0) {
        close(s);
        return false;
    }
    listener = s;
    return true;
}

} // namespace vhost

#endif
