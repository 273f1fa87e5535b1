#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace pelm {
namespace {

// The decoder as the board calls it, on bytes read from a file.
std::string decoded(std::string bytes) {
    return cp932ToUtf8(Cp932(std::move(bytes)));
}
// The encoder's bytes, to compare with the bytes a file would hold.
std::string encoded(std::string_view utf8) {
    return utf8ToCp932(utf8).bytes();
}

TEST(Codepage, DecodesJapaneseAndKeepsAsciiAsIs) {
    EXPECT_EQ(decoded("\x91\xE6\x82\x50\x83\x8C\x81\x5B\x83\x58"), "第１レース");
    EXPECT_EQ(decoded("Race 1, 10:00"), "Race 1, 10:00");
    // 0x5C and 0x7E are the ASCII backslash and tilde in CP932, not yen/overline.
    EXPECT_EQ(decoded("\\~"), "\\~");
    // A trail byte 0x5C belongs to its character ("表").
    EXPECT_EQ(decoded("\x95\x5C"), "表");
}

TEST(Codepage, DropsALeadByteLeftDanglingByACut) {
    EXPECT_EQ(decoded("ab\x95"), "ab");
    EXPECT_EQ(decoded("\x95\x5C\x95"), "表");
    EXPECT_EQ(withoutDanglingLeadByte("\x95\x5C"), "\x95\x5C");
    // 0x95 here is the trail byte of a pair, not a lead byte.
    EXPECT_EQ(withoutDanglingLeadByte("\x81\x95"), "\x81\x95");
}

TEST(Codepage, TurnsUndecodableBytesIntoReplacementCharacters) {
    EXPECT_EQ(decoded("a\xFF"
                      "b"),
              "a\uFFFD"
              "b");
    EXPECT_EQ(decoded("\x85\x40x"), "\uFFFDx");  // an unassigned pair
    // A lead byte followed by a byte that cannot trail: the second byte survives.
    EXPECT_EQ(decoded("\x82\x20"
                      "z"),
              "\uFFFD z");
    EXPECT_FALSE(isValidCp932("a\xFF"));
    EXPECT_FALSE(isValidCp932("ab\x95"));
    EXPECT_TRUE(isValidCp932("\x95\x5C"));
}

TEST(Codepage, EveryCallStartsAfresh) {
    // A dangling byte at the end of one text must not join the next text.
    EXPECT_EQ(decoded("x\x82"), "x");
    EXPECT_EQ(decoded("\xA0"
                      "y"),
              "\uFFFD"
              "y");
    EXPECT_EQ(decoded("\x82\xA0"), "あ");
}

TEST(Codepage, EncodesWithTheFullWidthFormsCp932Knows) {
    EXPECT_EQ(encoded("第１レース"), "\x91\xE6\x82\x50\x83\x8C\x81\x5B\x83\x58");
    EXPECT_EQ(utf8ToCp932("\u301C"), utf8ToCp932("\uFF5E"));  // wave dash
    EXPECT_EQ(encoded("\u301C"), "\x81\x60");
    EXPECT_EQ(encoded("\u2212"), "\x81\x7C");   // minus sign
    EXPECT_EQ(encoded("a\U0001F600b"), "a?b");  // no emoji in CP932
    EXPECT_EQ(toCp932(QString::fromUtf8("待機中")), utf8ToCp932("待機中"));
    EXPECT_EQ(fromCp932(utf8ToCp932("未接続")), QString::fromUtf8("未接続"));
}

TEST(Codepage, KnowsWhenACutSplitsACharacter) {
    const std::string title = "a" + encoded("表表");  // 5 bytes
    EXPECT_TRUE(cutSplitsCharacter(title, 2));
    EXPECT_FALSE(cutSplitsCharacter(title, 3));
    EXPECT_TRUE(cutSplitsCharacter(title, 4));
    EXPECT_FALSE(cutSplitsCharacter(title, 5));
    EXPECT_FALSE(cutSplitsCharacter(title, 40));
}

}  // namespace
}  // namespace pelm
