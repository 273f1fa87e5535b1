#pragma once
// A text in the board's code page (CP932), kept apart from UTF-8 by type:
// it is built from bytes only on purpose, joins only with another CP932
// text or an ASCII literal, and reaches Unicode only through
// platform/codepage.h. Lengths and cuts count bytes, as everywhere on the
// board.

#include <compare>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace pelm {

/// An ASCII literal, checked while compiling: ASCII reads the same in CP932
/// and UTF-8, so such a literal may become a CP932 text without conversion.
struct AsciiLiteral {
    template <std::size_t N>
    consteval AsciiLiteral(const char (&literal)[N]) : text(literal, N - 1) {
        for (char c : text)
            if (static_cast<unsigned char>(c) >= 0x80) throw "not an ASCII literal";
    }
    std::string_view text;
};

class Cp932 {
public:
    Cp932() = default;
    /// Takes bytes the caller knows to be CP932 (read from a board file,
    /// the database, or a cut of another CP932 text).
    explicit Cp932(std::string bytes) : bytes_(std::move(bytes)) {}

    const std::string& bytes() const { return bytes_; }
    std::string_view view() const { return bytes_; }
    bool empty() const { return bytes_.empty(); }
    std::size_t size() const { return bytes_.size(); }
    /// Empties the text and keeps its buffer for the next one.
    void clear() { bytes_.clear(); }

    Cp932& operator+=(const Cp932& more) {
        bytes_ += more.bytes_;
        return *this;
    }
    /// Joins an ASCII literal in place, with no CP932 text made of it
    /// first: statements are built this way a row at a time.
    Cp932& operator+=(AsciiLiteral more) {
        bytes_ += more.text;
        return *this;
    }
    // `left` is returned by name, so it moves out rather than being copied.
    friend Cp932 operator+(Cp932 left, const Cp932& right) {
        left += right;
        return left;
    }
    friend Cp932 operator+(Cp932 left, AsciiLiteral right) {
        left += right;
        return left;
    }

    friend bool operator==(const Cp932&, const Cp932&) = default;
    friend std::strong_ordering operator<=>(const Cp932& a, const Cp932& b) {
        return a.bytes_ <=> b.bytes_;
    }

private:
    std::string bytes_;
};

inline Cp932 cp932Ascii(AsciiLiteral literal) {
    return Cp932(std::string(literal.text));
}

}  // namespace pelm

template <>
struct std::hash<pelm::Cp932> {
    std::size_t operator()(const pelm::Cp932& text) const noexcept {
        return std::hash<std::string>{}(text.bytes());
    }
};
