#include "platform/share_wire.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace pelm {
namespace {

// Far above any call's bytes (a schedule is cut at 4 MiB, a picture at
// 512 KiB), so only a broken frame is ever refused.
constexpr std::uint64_t kMaxFrameBytes = std::uint64_t{256} << 20;

class Writer {
public:
    void number(std::uint64_t value) {
        bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void text(std::string_view value) {
        number(value.size());
        bytes_.append(value);
    }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    std::uint64_t number() {
        std::uint64_t value = 0;
        if (rest_.size() < sizeof value) return fail(), 0;
        std::memcpy(&value, rest_.data(), sizeof value);
        rest_.remove_prefix(sizeof value);
        return value;
    }
    std::string text() {
        const std::uint64_t size = number();
        if (size > rest_.size()) return fail(), std::string();
        std::string value(rest_.substr(0, size));
        rest_.remove_prefix(size);
        return value;
    }
    template <typename Enumeration>
    Enumeration choice(Enumeration last) {
        const std::uint64_t value = number();
        if (value > static_cast<std::uint64_t>(last)) fail();
        return static_cast<Enumeration>(value);
    }
    void fail() { good_ = false; }
    bool good() const { return good_; }
    bool wholeAndGood() const { return good_ && rest_.empty(); }

private:
    std::string_view rest_;
    bool good_ = true;
};

// --- the values, field by field, the same order both ways ---------------

void put(Writer&, const NoAnswer&) {}
void take(Reader&, NoAnswer&) {}

void put(Writer& out, const CallFailed& value) {
    out.text(value.reason);
}
void take(Reader& in, CallFailed& value) {
    value.reason = in.text();
}

void put(Writer& out, const FileRequest& value) {
    out.text(value.nativePath);
    out.number(value.maxBytes);
    out.number(static_cast<std::uint64_t>(value.links));
}
void take(Reader& in, FileRequest& value) {
    value.nativePath = in.text();
    value.maxBytes = in.number();
    value.links = in.choice(Links::NotFollowed);
}

void put(Writer& out, const ListRequest& value) {
    out.text(value.folder);
    out.text(value.suffix);
}
void take(Reader& in, ListRequest& value) {
    value.folder = in.text();
    value.suffix = in.text();
}

void put(Writer& out, const LookRequest& value) {
    out.text(value.path);
}
void take(Reader& in, LookRequest& value) {
    value.path = in.text();
}

void put(Writer& out, const ReplaceRequest& value) {
    out.text(value.nativePath);
    out.text(value.bytes);
    out.number(static_cast<std::uint64_t>(value.durability));
}
void take(Reader& in, ReplaceRequest& value) {
    value.nativePath = in.text();
    value.bytes = in.text();
    value.durability = in.choice(Durability::Visible);
}

void put(Writer& out, const FileBytes& value) {
    out.number(static_cast<std::uint64_t>(value.status));
    out.text(value.bytes);
}
void take(Reader& in, FileBytes& value) {
    value.status = in.choice(FileBytes::Status::Stalled);
    value.bytes = in.text();
}

void put(Writer& out, const Listing& value) {
    out.number(value.names.has_value());
    if (value.names) {
        out.number(value.names->size());
        for (const std::string& name : *value.names) out.text(name);
    }
    out.number(static_cast<std::uint64_t>(value.error));
}
void take(Reader& in, Listing& value) {
    if (in.number()) {
        const std::uint64_t count = in.number();
        value.names.emplace();
        for (std::uint64_t i = 0; i < count && in.good(); ++i) value.names->push_back(in.text());
    }
    value.error = static_cast<int>(in.number());
}

void put(Writer& out, const PathFacts& value) {
    out.number(static_cast<std::uint64_t>(value.kind));
    out.number(value.owner);
    out.text(value.linkTarget);
    out.number(value.stamp.inode);
    out.number(static_cast<std::uint64_t>(value.stamp.size));
    out.number(static_cast<std::uint64_t>(value.stamp.modifiedNs));
}
void take(Reader& in, PathFacts& value) {
    value.kind = in.choice(PathFacts::Kind::Device);
    value.owner = static_cast<uid_t>(in.number());
    value.linkTarget = in.text();
    value.stamp.inode = static_cast<ino_t>(in.number());
    value.stamp.size = static_cast<off_t>(in.number());
    value.stamp.modifiedNs = static_cast<long long>(in.number());
}

void put(Writer& out, const Replacement& value) {
    out.number(value.done);
    out.number(static_cast<std::uint64_t>(value.error));
    out.number(value.ours);
    put(out, value.displaced);
    put(out, value.refusedBy);
}
void take(Reader& in, Replacement& value) {
    value.done = in.number() != 0;
    value.error = static_cast<int>(in.number());
    value.ours = static_cast<uid_t>(in.number());
    take(in, value.displaced);
    take(in, value.refusedBy);
}

// A variant as the index of its alternative, then that alternative.
template <typename... Alternatives>
void put(Writer& out, const std::variant<Alternatives...>& value) {
    out.number(value.index());
    std::visit([&](const auto& alternative) { put(out, alternative); }, value);
}

template <typename Variant, std::size_t... Index>
void takeAlternative(Reader& in, Variant& value, std::size_t index, std::index_sequence<Index...>) {
    if (index >= sizeof...(Index)) return in.fail();
    ((index == Index ? take(in, value.template emplace<Index>()) : void()), ...);
}

template <typename... Alternatives>
void take(Reader& in, std::variant<Alternatives...>& value) {
    takeAlternative(in, value, in.number(), std::index_sequence_for<Alternatives...>());
}

// --- frames ----------------------------------------------------------------

// Sends one frame in one go: its length, then its values.
template <typename Value>
bool sendFrame(int socket, const std::vector<Value>& values) {
    Writer frame;
    frame.number(0);  // the length, filled in below
    frame.number(values.size());
    for (const Value& value : values) put(frame, value);
    std::string bytes = frame.take();
    const std::uint64_t length = bytes.size() - sizeof length;
    std::memcpy(bytes.data(), &length, sizeof length);
    std::string_view rest(bytes);
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
    Reader in(std::string_view(bytes).substr(sizeof length));
    const std::uint64_t count = in.number();
    std::vector<Value> values;
    for (std::uint64_t i = 0; i < count && in.good(); ++i) take(in, values.emplace_back());
    if (!in.wholeAndGood() || values.size() != count) return std::nullopt;
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
