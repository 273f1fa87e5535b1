#include "platform/share_wire.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <tuple>
#include <utility>

namespace pelm {
namespace {

// Far above any call's bytes (a schedule is cut at 4 MiB, a picture at
// 512 KiB), so only a broken frame is ever refused.
constexpr std::uint64_t kMaxFrameBytes = std::uint64_t{256} << 20;
// No enumeration of the calls has more alternatives: a larger one is no
// value of either end's.
constexpr std::uint64_t kMaxEnumerator = 15;

// Each value as its fields, in the one order both ends put and take them.
struct Fields {
    static auto of(FileRequest& v) { return std::tie(v.path, v.maxBytes, v.links); }
    static auto of(ListRequest& v) { return std::tie(v.path, v.suffix); }
    static auto of(LookRequest& v) { return std::tie(v.path); }
    static auto of(ReplaceRequest& v) { return std::tie(v.path, v.bytes, v.durability); }
    static auto of(NoAnswer&) { return std::tie(); }
    static auto of(CallFailed& v) { return std::tie(v.reason); }
    static auto of(FileBytes& v) { return std::tie(v.status, v.bytes); }
    static auto of(Listing& v) { return std::tie(v.names, v.error); }
    static auto of(FileStamp& v) { return std::tie(v.inode, v.size, v.modifiedNs); }
    static auto of(PathFacts& v) { return std::tie(v.kind, v.owner, v.linkTarget, v.stamp); }
    static auto of(Replacement& v) {
        return std::tie(v.done, v.error, v.ours, v.displaced, v.refusedBy);
    }
};

template <typename T>
concept Number = std::is_arithmetic_v<T> || std::is_enum_v<T>;

struct Writer {
    std::string bytes;

    void number(std::uint64_t value) {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    template <Number T>
    void put(const T& value) {
        number(static_cast<std::uint64_t>(value));
    }
    void put(const std::string& value) {
        number(value.size());
        bytes.append(value);
    }
    template <typename T>
    void put(const std::optional<T>& value) {
        number(value.has_value());
        if (value) put(*value);
    }
    template <typename T>
    void put(const std::vector<T>& values) {
        number(values.size());
        for (const T& value : values) put(value);
    }
    template <typename... Alternatives>
    void put(const std::variant<Alternatives...>& value) {
        number(value.index());
        std::visit([&](const auto& alternative) { put(alternative); }, value);
    }
    template <typename T>
    void put(const T& value) {
        std::apply([&](auto&... field) { (put(field), ...); }, Fields::of(const_cast<T&>(value)));
    }
};

struct Reader {
    std::string_view rest;
    bool good = true;

    std::uint64_t number() {
        std::uint64_t value = 0;
        if (rest.size() < sizeof value) return good = false, 0;
        std::memcpy(&value, rest.data(), sizeof value);
        rest.remove_prefix(sizeof value);
        return value;
    }
    template <Number T>
    void take(T& value) {
        const std::uint64_t read = number();
        if (std::is_enum_v<T> && read > kMaxEnumerator) good = false;
        value = static_cast<T>(read);
    }
    void take(std::string& value) {
        const std::uint64_t size = number();
        if (size > rest.size()) return void(good = false);
        value.assign(rest.substr(0, size));
        rest.remove_prefix(size);
    }
    template <typename T>
    void take(std::optional<T>& value) {
        if (number()) take(value.emplace());
    }
    template <typename T>
    void take(std::vector<T>& values) {
        const std::uint64_t count = number();
        for (std::uint64_t i = 0; i < count && good; ++i) take(values.emplace_back());
    }
    template <typename... Alternatives>
    void take(std::variant<Alternatives...>& value) {
        takeAlternative(value, number(), std::index_sequence_for<Alternatives...>());
    }
    template <typename Variant, std::size_t... Index>
    void takeAlternative(Variant& value, std::size_t index, std::index_sequence<Index...>) {
        if (index >= sizeof...(Index)) return void(good = false);
        ((index == Index ? take(value.template emplace<Index>()) : void()), ...);
    }
    template <typename T>
    void take(T& value) {
        std::apply([&](auto&... field) { (take(field), ...); }, Fields::of(value));
    }
};

// Sends one frame in one go: its length, then its values.
template <typename Value>
bool sendFrame(int socket, const std::vector<Value>& values) {
    Writer frame;
    frame.number(0);  // the length, filled in below
    frame.put(values);
    const std::uint64_t length = frame.bytes.size() - sizeof length;
    std::memcpy(frame.bytes.data(), &length, sizeof length);
    std::string_view rest(frame.bytes);
    while (!rest.empty()) {
        const ssize_t sent = send(socket, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        rest.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Appends what the socket has to `bytes` until it holds at least `size`,
// taking whatever has arrived in one go: each end sends its next frame only
// once it has the other's answer, so reading ahead never takes a next frame.
bool receiveInto(int socket, std::string& bytes, std::size_t size) {
    constexpr std::size_t kChunk = 64 * 1024;
    while (bytes.size() < size) {
        const std::size_t had = bytes.size();
        bytes.resize(std::max(size, had + kChunk));
        const ssize_t got = recv(socket, bytes.data() + had, bytes.size() - had, 0);
        bytes.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
    }
    return true;
}

template <typename Value>
std::optional<std::vector<Value>> receiveFrame(int socket) {
    std::string bytes;
    std::uint64_t length = 0;
    if (!receiveInto(socket, bytes, sizeof length)) return std::nullopt;
    std::memcpy(&length, bytes.data(), sizeof length);
    if (length > kMaxFrameBytes || !receiveInto(socket, bytes, sizeof length + length))
        return std::nullopt;
    Reader in{std::string_view(bytes).substr(sizeof length)};
    std::vector<Value> values;
    in.take(values);
    if (!in.good || !in.rest.empty()) return std::nullopt;
    return values;
}

}  // namespace

bool sendCalls(int socket, const std::vector<ShareCall>& calls) {
    return sendFrame(socket, calls);
}

bool sendAnswers(int socket, const std::vector<ShareAnswer>& answers) {
    return sendFrame(socket, answers);
}

std::optional<std::vector<ShareCall>> receiveCalls(int socket) {
    return receiveFrame<ShareCall>(socket);
}

std::optional<std::vector<ShareAnswer>> receiveAnswers(int socket) {
    return receiveFrame<ShareAnswer>(socket);
}

}  // namespace pelm
