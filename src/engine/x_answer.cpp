#include "engine/x_answer.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, 0 once past.
int ms_left(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits for `events` on `fd` until `deadline`; false when time ran out.
bool wait_for(int fd, short events, Clock::time_point deadline) {
    pollfd p = {fd, events, 0};
    for (;;) {
        const int ready = poll(&p, 1, ms_left(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

// The socket addresses Xlib tries for `name` (":0", "unix:0", "host:10.0"),
// in its order: on this machine the abstract socket, then the file; on
// another, TCP port 6000 + the display number. Empty for forms not known
// here (DECnet "host::0", a path).
std::vector<std::vector<char>> x_addresses(const std::string& name) {
    if (name.empty() || name[0] == '/') return {};
    std::string display_name = name;
    if (const size_t slash = display_name.find('/'); slash < display_name.find(':')) display_name.erase(0, slash + 1);  // "tcp/host:0"
    const size_t colon = display_name.rfind(':');
    if (colon == std::string::npos || colon + 1 >= display_name.size()) return {};
    if (colon > 0 && display_name[colon - 1] == ':') return {};
    const std::string host = display_name.substr(0, colon);
    const std::string digits = display_name.substr(colon + 1, display_name.find('.', colon) - colon - 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 5) return {};
    std::vector<std::vector<char>> addresses;
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + digits;
        for (bool abstract : {true, false}) {
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
            const char* bytes = reinterpret_cast<const char*>(&address);
            addresses.emplace_back(bytes, bytes + offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 1 : 0));
        }
        return addresses;
    }
    addrinfo hints = {}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), std::to_string(6000 + std::stoi(digits)).c_str(), &hints, &found) != 0) return {};
    for (addrinfo* a = found; a; a = a->ai_next) {
        const char* bytes = reinterpret_cast<const char*>(a->ai_addr);
        addresses.emplace_back(bytes, bytes + a->ai_addrlen);
    }
    freeaddrinfo(found);
    return addresses;
}

// Connects to `address` by `deadline`: the socket, or -1.
int connect_by(const std::vector<char>& address, Clock::time_point deadline) {
    const auto* to = reinterpret_cast<const sockaddr*>(address.data());
    const int fd = socket(to->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int error = 0;
    socklen_t size = sizeof error;
    if (connect(fd, to, socklen_t(address.size())) == 0 ||
        (errno == EINPROGRESS && wait_for(fd, POLLOUT, deadline) &&
         getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0))
        return fd;
    close(fd);
    return -1;
}

enum class Got { whole, timed_out, closed };

// Reads from `fd` until `reply` holds `size` bytes, by `deadline`.
Got read_up_to(int fd, std::vector<unsigned char>& reply, size_t size, Clock::time_point deadline) {
    while (reply.size() < size) {
        if (!wait_for(fd, POLLIN, deadline)) return Got::timed_out;
        unsigned char buffer[4096];
        const ssize_t got = recv(fd, buffer, std::min(sizeof buffer, size - reply.size()), 0);
        if (got > 0)
            reply.insert(reply.end(), buffer, buffer + got);
        else if (got == 0 || (errno != EINTR && errno != EAGAIN))
            return Got::closed;  // an orderly close, or a reset
    }
    return Got::whole;
}

// A 16-bit field of the answer, in the little-endian order the question asked for.
unsigned field16(const std::vector<unsigned char>& reply, size_t at) { return reply[at] | unsigned(reply[at + 1]) << 8; }

// Whether an acceptance holds what it announces: its vendor's name, its pixel
// formats and at least one screen (each 40 bytes or more).
bool well_formed_acceptance(const std::vector<unsigned char>& reply) {
    const size_t vendor = (field16(reply, 24) + 3) / 4 * 4, screens = reply[28], formats = reply[29];
    return screens >= 1 && 40 + vendor + 8 * formats + 40 * screens <= reply.size();
}

// Reads the server's whole answer (X11 protocol, "Connection Setup") by `deadline`.
XAnswer read_answer(int fd, Clock::time_point deadline) {
    std::vector<unsigned char> reply;
    // Its first byte alone tells most other servers apart: 0 refused, 1
    // accepted, 2 asks for more authentication.
    Got got = read_up_to(fd, reply, 1, deadline);
    if (got != Got::whole) return got == Got::timed_out ? XAnswer::silent : XAnswer::closed;
    if (reply[0] > 2) return XAnswer::not_x;
    // The header: protocol version (but for 2), then the length of the rest in 4-byte units.
    const auto unfinished = [](Got g) { return g == Got::timed_out ? XAnswer::partial : XAnswer::cut_off; };
    if ((got = read_up_to(fd, reply, 8, deadline)) != Got::whole) return unfinished(got);
    const size_t size = 8 + 4 * size_t(field16(reply, 6));
    if ((reply[0] != 2 && field16(reply, 2) != 11) || (reply[0] == 1 && size < 40) ||
        (reply[0] == 0 && 8 + size_t(reply[1]) > size))
        return XAnswer::not_x;
    if ((got = read_up_to(fd, reply, size, deadline)) != Got::whole) return unfinished(got);
    if (reply[0] != 1) return XAnswer::refused;
    return well_formed_acceptance(reply) ? XAnswer::accepted : XAnswer::not_x;
}

}  // namespace

XAnswer ask_x_server(const std::string& name, int seconds, int* kept) {
    const auto addresses = x_addresses(name);
    if (addresses.empty()) return XAnswer::unknown;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    for (const auto& address : addresses) {
        const int fd = connect_by(address, deadline);
        if (fd < 0) continue;
        // Little-endian byte order, protocol 11.0, no key.
        const unsigned char hello[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        const XAnswer answer = send(fd, hello, sizeof hello, MSG_NOSIGNAL) == ssize_t(sizeof hello)
                                   ? read_answer(fd, deadline)
                                   : XAnswer::closed;
        if (kept && answer == XAnswer::accepted)
            *kept = fd;
        else
            close(fd);
        return answer;
    }
    return ms_left(deadline) == 0 ? XAnswer::silent : XAnswer::unreachable;
}

std::string x_answer_text(XAnswer answer, int seconds) {
    const std::string bound = " within " + std::to_string(seconds) + " s";
    switch (answer) {
        case XAnswer::silent: return "did not answer" + bound;
        case XAnswer::partial: return "sent only part of an answer" + bound;
        case XAnswer::not_x: return "answered, but not as an X server";
        case XAnswer::closed: return "closed the connection without answering";
        case XAnswer::cut_off: return "closed the connection part way through its answer";
        case XAnswer::unreachable: return "cannot be reached";
        case XAnswer::refused: return "refused the connection";
        case XAnswer::accepted: return "answers";
        default: return "";
    }
}
