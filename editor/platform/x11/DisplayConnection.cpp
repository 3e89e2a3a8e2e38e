// How the connection is bounded. libxcb's only way in besides xcb_connect
// is xcb_connect_to_fd, which sends the set-up request itself and then
// waits in poll() without a timeout for the reply. So the set-up is done
// here first, on the server's socket, without blocking: connect, send the
// request with the display's cookie, poll for the whole reply, all by one
// deadline. The server's socket cannot go to libxcb as it is: a second
// set-up request would reach the server as garbage, and libxcb reads what
// waits on the socket while it writes its request, taking a reply that is
// already there for events. So libxcb is handed a socket pair of records
// (SOCK_SEQPACKET) that already holds the reply as two records, the 8-byte
// head and the rest. A read never returns more than one record: libxcb
// finds the head (too short to pass for an event) and then the rest exactly
// where it reads them, and never waits; its own set-up request goes into
// the pair and is dropped. Once it has taken the reply, the pair's end
// under its descriptor number is replaced by the server's socket (dup3):
// libxcb does no I/O after the set-up within xcb_connect_to_fd and keeps
// using that number, so every later request, reply and event travels to
// and from the server, whose sequence numbers, like libxcb's, start after
// the set-up. The server sees one client that set up once.
//
// The cookie is the display's MIT-MAGIC-COOKIE-1, picked from the
// authority file as libXau's XauGetBestAuthByAddr picks it, but read with
// XauReadAuth: XauFileName, which that function calls, keeps the file's
// name in a static buffer that two editors opening on two threads would
// write at once. XDM-AUTHORIZATION-1 is not offered.
#include "editor/platform/x11/DisplayConnection.h"

#include <X11/Xauth.h>
#include <xcb/xcbext.h>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ui {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTcpPortBase = 6000;
constexpr std::string_view kCookieName = "MIT-MAGIC-COOKIE-1";

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd = other.release();
        }
        return *this;
    }
    ~Descriptor() { reset(); }
    int get() const { return fd; }
    int release() { return std::exchange(fd, -1); }
    explicit operator bool() const { return fd >= 0; }

private:
    void reset() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int fd = -1;
};

// Waits for `events` on fd until the deadline; true when they (or an error
// or hang-up, which the next call then meets) came in time.
bool await(int fd, short events, Deadline deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// ---- what DISPLAY names ------------------------------------------------------

struct DisplayName {
    std::string protocol; // before a '/': "unix", "tcp", "inet", "inet6" or none
    std::string host;     // none or "unix": this machine's socket
    int display = 0;
    int screen = 0;

    bool local() const {
        if (protocol == "unix") return true;
        return protocol.empty() && (host.empty() || host == "unix");
    }
};

std::optional<int> number(std::string_view text) {
    int n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() || n < 0)
        return std::nullopt;
    return n;
}

std::optional<DisplayName> parse(std::string_view name) {
    DisplayName d;
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos) {
        d.protocol = name.substr(0, slash);
        name.remove_prefix(slash + 1);
    }
    const auto colon = name.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    d.host = name.substr(0, colon);
    std::string_view rest = name.substr(colon + 1);
    std::string_view screen = "0";
    if (const auto dot = rest.find('.'); dot != std::string_view::npos) {
        screen = rest.substr(dot + 1);
        rest = rest.substr(0, dot);
    }
    const auto display = number(rest);
    const auto screenNumber = number(screen);
    if (!display || !screenNumber) return std::nullopt;
    d.display = *display;
    d.screen = *screenNumber;
    return d;
}

// ---- the socket -----------------------------------------------------------------

// A non-blocking socket connected to `address` by the deadline; none
// otherwise, with the reason in `why`.
Descriptor connectTo(int family, const sockaddr* address, socklen_t length, Deadline deadline,
                     int& why) {
    why = 0;
    Descriptor s(socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s) {
        why = errno;
        return {};
    }
    if (family != AF_UNIX) {
        // As libxcb sets them: requests go out at once, and a dead peer is
        // noticed in time.
        const int on = 1;
        setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(s.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    }
    if (connect(s.get(), address, length) == 0) return s;
    // A Unix socket whose queue is full answers EAGAIN at once: nobody
    // accepts there, and that is an answer.
    if (errno != EINPROGRESS) {
        why = errno;
        return {};
    }
    if (!await(s.get(), POLLOUT, deadline)) {
        why = ETIMEDOUT;
        return {};
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        why = error ? error : errno;
        return {};
    }
    return s;
}

Descriptor connectLocal(int display, Deadline deadline) {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() + 1 >= sizeof a.sun_path) return {};
    // Linux's abstract name first, as libxcb tries it: servers listen on
    // both, and it needs no file. The file's socket only where nothing
    // listens under that name.
    std::memcpy(a.sun_path + 1, path.data(), path.size());
    int why = 0;
    const auto abstractLength =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    Descriptor s =
        connectTo(AF_UNIX, reinterpret_cast<const sockaddr*>(&a), abstractLength, deadline, why);
    if (s || (why != ENOENT && why != ECONNREFUSED)) return s;
    std::memset(a.sun_path, 0, sizeof a.sun_path);
    std::memcpy(a.sun_path, path.data(), path.size());
    return connectTo(AF_UNIX, reinterpret_cast<const sockaddr*>(&a), sizeof a, deadline, why);
}

// Looking up a host name is the resolver's, with its own time-outs; a
// numeric address or localhost takes no wait.
Descriptor connectTcp(const DisplayName& d, Deadline deadline) {
    if (d.display > 65535 - kTcpPortBase) return {};
    if (!d.protocol.empty() && d.protocol != "tcp" && d.protocol != "inet" && d.protocol != "inet6")
        return {};
    addrinfo hints{};
    hints.ai_family = d.protocol == "inet" ? AF_INET : d.protocol == "inet6" ? AF_INET6 : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    std::string host = d.host.empty() ? "localhost" : d.host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        hints.ai_family = AF_INET6;
        hints.ai_flags |= AI_NUMERICHOST;
    }
    const std::string port = std::to_string(kTcpPortBase + d.display);
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return {};
    Descriptor s;
    int why = 0;
    for (const addrinfo* a = found; a && !s; a = a->ai_next)
        s = connectTo(a->ai_family, a->ai_addr, a->ai_addrlen, deadline, why);
    freeaddrinfo(found);
    return s;
}

// ---- the cookie -----------------------------------------------------------------

struct Cookie {
    std::string name, data;
};

// The authority file's entries are kept for a family and an address: this
// machine's name for a local socket or the loopback, else the server's
// address, as libxcb looks them up.
struct AuthorityKey {
    unsigned short family = FamilyLocal;
    std::string address;
};

std::optional<AuthorityKey> keyOf(int fd) {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    AuthorityKey key;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return std::nullopt;
    if (peer.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
        const auto* bytes = reinterpret_cast<const char*>(a.s6_addr);
        if (IN6_IS_ADDR_V4MAPPED(&a)) {
            if (std::memcmp(bytes + 12, "\x7f\0\0\x01", 4) != 0) {
                key.family = XCB_FAMILY_INTERNET;
                key.address.assign(bytes + 12, 4);
            }
        } else if (!IN6_IS_ADDR_LOOPBACK(&a)) {
            key.family = XCB_FAMILY_INTERNET_6;
            key.address.assign(bytes, 16);
        }
    } else if (peer.ss_family == AF_INET) {
        const in_addr& a = reinterpret_cast<const sockaddr_in&>(peer).sin_addr;
        if (a.s_addr != htonl(INADDR_LOOPBACK)) {
            key.family = XCB_FAMILY_INTERNET;
            key.address.assign(reinterpret_cast<const char*>(&a.s_addr), 4);
        }
    } else if (peer.ss_family != AF_UNIX) {
        return std::nullopt;
    }
    if (key.family == FamilyLocal) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0) return std::nullopt;
        key.address = host;
    }
    return key;
}

// XAUTHORITY, else ~/.Xauthority: the file that libXau reads.
std::string authorityFile() {
    if (const char* file = std::getenv("XAUTHORITY")) return file;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.Xauthority";
    return {};
}

Cookie cookieFor(int fd, int display) {
    const auto key = keyOf(fd);
    const std::string file = authorityFile();
    if (!key || file.empty()) return {};
    FILE* f = std::fopen(file.c_str(), "rbe");
    if (!f) return {};
    const std::string number = std::to_string(display);
    auto is = [](const char* bytes, unsigned short length, std::string_view text) {
        return length == text.size() && std::memcmp(bytes, text.data(), length) == 0;
    };
    Cookie found;
    while (Xauth* e = XauReadAuth(f)) {
        const bool address =
            e->family == FamilyWild ||
            (e->family == key->family && is(e->address, e->address_length, key->address));
        const bool display = e->number_length == 0 || is(e->number, e->number_length, number);
        const bool match = address && display && is(e->name, e->name_length, kCookieName);
        if (match) found = {std::string(kCookieName), std::string(e->data, e->data_length)};
        XauDisposeAuth(e);
        if (match) break;
    }
    std::fclose(f);
    return found;
}

// ---- the set-up -------------------------------------------------------------------

void appendPadded(std::vector<std::uint8_t>& to, std::string_view bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
    to.resize((to.size() + 3) / 4 * 4, 0);
}

bool sendAll(int fd, const std::uint8_t* bytes, std::size_t size, Deadline deadline) {
    while (size > 0) {
        const ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL);
        if (n > 0) {
            bytes += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!await(fd, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool receiveAll(int fd, std::uint8_t* bytes, std::size_t size, Deadline deadline) {
    while (size > 0) {
        const ssize_t n = recv(fd, bytes, size, 0);
        if (n > 0) {
            bytes += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!await(fd, POLLIN, deadline)) return false;
        } else {
            return false; // closed, or broken
        }
    }
    return true;
}

// The server's whole reply to our set-up request, in our byte order; none
// when it refused us, wants more authentication or has not answered by the
// deadline.
std::vector<std::uint8_t> setUp(int fd, const Cookie& cookie, Deadline deadline) {
    auto card16 = [](std::uint8_t* at, std::size_t value) {
        const auto v = static_cast<std::uint16_t>(value);
        std::memcpy(at, &v, sizeof v);
    };
    std::vector<std::uint8_t> request(12, 0);
    request[0] = std::endian::native == std::endian::little ? 'l' : 'B';
    card16(&request[2], 11); // protocol 11.0
    card16(&request[6], cookie.name.size());
    card16(&request[8], cookie.data.size());
    appendPadded(request, cookie.name);
    appendPadded(request, cookie.data);
    if (!sendAll(fd, request.data(), request.size(), deadline)) return {};

    std::vector<std::uint8_t> reply(8);
    if (!receiveAll(fd, reply.data(), reply.size(), deadline)) return {};
    constexpr std::uint8_t kSuccess = 1;
    std::uint16_t words = 0;
    std::memcpy(&words, &reply[6], sizeof words);
    if (reply[0] != kSuccess || words == 0) return {};
    reply.resize(reply.size() + 4u * words);
    if (!receiveAll(fd, reply.data() + 8, reply.size() - 8, deadline)) return {};
    return reply;
}

// libxcb's connection over the server's socket, whose set-up `reply` has
// been read (see the top of this file).
xcb_connection_t* handOver(Descriptor server, const std::vector<std::uint8_t>& reply) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
    Descriptor theirs(pair[0]);
    const Descriptor ours(pair[1]);
    // Both records wait in the pair at once: make room where a server's
    // reply is larger than the pair's default buffer.
    int room = 0;
    socklen_t size = sizeof room;
    const int needed = static_cast<int>(reply.size()) * 2 + 4096;
    if (getsockopt(ours.get(), SOL_SOCKET, SO_SNDBUF, &room, &size) == 0 && room < needed)
        setsockopt(ours.get(), SOL_SOCKET, SO_SNDBUF, &needed, sizeof needed);
    const std::size_t rest = reply.size() - 8;
    if (send(ours.get(), reply.data(), 8, MSG_DONTWAIT | MSG_NOSIGNAL) != 8 ||
        send(ours.get(), reply.data() + 8, rest, MSG_DONTWAIT | MSG_NOSIGNAL) !=
            static_cast<ssize_t>(rest))
        return nullptr;
    // From here libxcb owns the descriptor, and closes it on failure.
    xcb_connection_t* c = xcb_connect_to_fd(theirs.release(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    if (dup3(server.get(), xcb_get_file_descriptor(c), O_CLOEXEC) < 0) {
        xcb_disconnect(c);
        return nullptr;
    }
    return c;
}

} // namespace

xcb_connection_t* connectDisplay(const char* name, Deadline deadline) {
    if (!name) name = std::getenv("DISPLAY");
    if (!name) return nullptr;
    const auto d = parse(name);
    if (!d) return nullptr;
    Descriptor server = d->local() ? connectLocal(d->display, deadline) : connectTcp(*d, deadline);
    if (!server) return nullptr;
    const auto reply = setUp(server.get(), cookieFor(server.get(), d->display), deadline);
    if (reply.empty()) return nullptr;
    xcb_connection_t* c = handOver(std::move(server), reply);
    if (c && d->screen >= xcb_setup_roots_length(xcb_get_setup(c))) {
        xcb_disconnect(c);
        return nullptr;
    }
    return c;
}

bool awaitReply(xcb_connection_t* c, unsigned int sequence, Deadline deadline, void** reply,
                xcb_generic_error_t** error) {
    *reply = nullptr;
    *error = nullptr;
    if (xcb_flush(c) <= 0) return false;
    for (;;) {
        if (xcb_poll_for_reply(c, sequence, reply, error)) return !xcb_connection_has_error(c);
        if (xcb_connection_has_error(c)) return false;
        if (!await(xcb_get_file_descriptor(c), POLLIN, deadline)) return false;
    }
}

} // namespace ui
