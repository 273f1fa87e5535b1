#include "platform/service_notify.h"

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace pelm {
namespace {

std::optional<qint64> watchdogOf(const char* usec, const char* pid) {
    if (!usec) return std::nullopt;
    if (pid) {
        char* end = nullptr;
        const long long owner = std::strtoll(pid, &end, 10);
        if (end == pid || *end || owner != getpid()) return std::nullopt;
    }
    char* end = nullptr;
    const long long value = std::strtoll(usec, &end, 10);
    if (end == usec || *end || value <= 0) return std::nullopt;
    return value;
}

}  // namespace

ServiceNotify ServiceNotify::fromEnvironment() {
    ServiceNotify notify;
    const char* name = std::getenv("NOTIFY_SOCKET");
    if (!name || (name[0] != '/' && name[0] != '@')) return notify;
    const size_t length = std::strlen(name);
    if (length >= sizeof notify.address_.sun_path) return notify;
    notify.address_.sun_family = AF_UNIX;
    std::memcpy(notify.address_.sun_path, name, length);
    // An abstract name starts with a NUL byte and has no terminating one.
    if (name[0] == '@') notify.address_.sun_path[0] = '\0';
    notify.addressLength_ =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + (name[0] == '/'));
    notify.socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (notify.socket_ >= 0)
        notify.watchdogUsec_ =
            watchdogOf(std::getenv("WATCHDOG_USEC"), std::getenv("WATCHDOG_PID"));
    return notify;
}

ServiceNotify::~ServiceNotify() {
    if (socket_ >= 0) close(socket_);
}

ServiceNotify::ServiceNotify(ServiceNotify&& other) noexcept
    : socket_(std::exchange(other.socket_, -1)),
      address_(other.address_),
      addressLength_(other.addressLength_),
      watchdogUsec_(other.watchdogUsec_) {}

ServiceNotify& ServiceNotify::operator=(ServiceNotify&& other) noexcept {
    if (this != &other) {
        if (socket_ >= 0) close(socket_);
        socket_ = std::exchange(other.socket_, -1);
        address_ = other.address_;
        addressLength_ = other.addressLength_;
        watchdogUsec_ = other.watchdogUsec_;
    }
    return *this;
}

bool ServiceNotify::send(std::string_view state) const {
    if (socket_ < 0) return false;
    ssize_t sent;
    do {
        sent = sendto(socket_, state.data(), state.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(&address_), addressLength_);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(state.size());
}

}  // namespace pelm
