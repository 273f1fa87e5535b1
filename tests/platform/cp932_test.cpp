#include "platform/cp932.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>

#include "platform/codepage.h"
#include "platform/error.h"

namespace pelm {
namespace {

// The compiler keeps the two encodings apart: a UTF-8 std::string never
// becomes CP932 unnoticed, and the two never join.
template <typename A, typename B>
concept Joinable = requires(A a, B b) {
    a + b;
};
template <typename A, typename B>
concept Appendable = requires(A& a, B b) {
    a += b;
};

static_assert(!std::is_convertible_v<std::string, Cp932>);
static_assert(!std::is_convertible_v<const char*, Cp932>);
static_assert(!std::is_convertible_v<std::string_view, Cp932>);
static_assert(!std::is_convertible_v<Cp932, std::string>);
static_assert(!std::is_convertible_v<Cp932, std::string_view>);
static_assert(!Joinable<Cp932, std::string>);
static_assert(!Joinable<std::string, Cp932>);
static_assert(!Joinable<Cp932, const char*>);
static_assert(!Joinable<const char*, Cp932>);
static_assert(!Appendable<Cp932, std::string>);
static_assert(!Appendable<std::string, Cp932>);
static_assert(!Appendable<Cp932, const char*>);
static_assert(Appendable<Cp932, const char (&)[2]>);
static_assert(Joinable<Cp932, Cp932>);
static_assert(Joinable<Cp932, const char (&)[2]>);
static_assert(!std::is_constructible_v<Error, std::string>);
static_assert(!std::is_constructible_v<Error, const char*>);

// An ASCII literal is checked while compiling; a literal with any byte
// above 0x7F is refused, since UTF-8 and CP932 differ there.
template <typename Text>
concept AsciiOnly = requires(Text text) {
    cp932Ascii(text);
};
static_assert(AsciiOnly<const char (&)[4]>);
static_assert(!AsciiOnly<std::string>);
static_assert(!AsciiOnly<const char*>);

TEST(Cp932, JoinsComparesAndHashesByItsBytes) {
    const Cp932 title = utf8ToCp932("第１レース");
    Cp932 line = cp932Ascii("10:00 ") + title;
    EXPECT_EQ(line.bytes(), "10:00 \x91\xE6\x82\x50\x83\x8C\x81\x5B\x83\x58");
    EXPECT_EQ(line.size(), 16u);
    line += cp932Ascii("!");
    line += "?";
    const Cp932 joined = line + ":)";
    EXPECT_EQ(joined.view().substr(line.size() - 2), "!?:)");
    EXPECT_EQ(Cp932(title.bytes()), title);
    EXPECT_LT(cp932Ascii("9:05:07"), cp932Ascii("a"));  // byte order, as SQLite's BINARY
    EXPECT_TRUE(Cp932().empty());
    const std::unordered_set<Cp932> seen{title, Cp932(title.bytes()), cp932Ascii("x")};
    EXPECT_EQ(seen.size(), 2u);
}

TEST(Cp932, AnErrorKeepsItsMessageAndGivesTheSameBytesAsWhat) {
    const Cp932 message = utf8ToCp932("'25:00' は時刻ではありません");
    const Error error(message);
    const Error copy = error;  // an exception is copied as it is thrown
    EXPECT_EQ(copy.message(), message);
    EXPECT_EQ(std::string(copy.what()), message.bytes());
    EXPECT_EQ(fromCp932(copy.message()), QString::fromUtf8("'25:00' は時刻ではありません"));
}

}  // namespace
}  // namespace pelm
