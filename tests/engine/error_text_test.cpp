// The caption and the message of the board's error box.

#include "engine/error_text.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "support/cp932_bytes.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

// The message as the box shows it, in bytes.
std::string shown(std::string message) {
    return withPeriod(Cp932(std::move(message))).bytes();
}

TEST(ProgramTitle, IsTheFileNameUpToItsFirstDotWithTheRestLowered) {
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"/opt/pelm/bin/PelmDp", "Pelmdp"}, {"PelmDp", "Pelmdp"},    {"/x/PELMDP.EXE", "Pelmdp"},
        {"/x/pelmDp.old.exe", "pelmdp"},    {"/a.b/Board", "Board"}, {"/x/.hidden", ""},
        {"/x/Ätsch.bin", "Ätsch"},          {"/x/DÖNER", "Döner"},
    };
    for (const auto& c : cases) EXPECT_EQ(programTitle(c.path), QString(c.title)) << c.path;
}

TEST(WithPeriod, AddsAPeriodOnlyAfterTextThatDoesNotEndAtOrBelowIt) {
    const struct {
        std::string message;
        std::string shown;
    } cases[] = {
        {"", ""},
        {"Disk full", "Disk full."},
        {"Done.", "Done."},
        {"Why?", "Why?."},   // "?" sorts above "."
        {"Stop!", "Stop!"},  // "!" sorts below "."
        {"(see log)", "(see log)"},
        {"a-", "a-"},
        {"a/", "a/."},
        {"Code 42", "Code 42."},
        {"trailing space ", "trailing space "},
        {"\xB1\xB2", "\xB1\xB2."},  // half-width katakana are single bytes above "."
    };
    for (const auto& c : cases) EXPECT_EQ(shown(c.message), c.shown) << c.message;
}

TEST(WithPeriod, AlwaysAfterADoubleByteCharacterWhateverItsTrailByte) {
    // "ー" is 0x81 0x5B, "、" 0x81 0x41, "表" 0x95 0x5C: trail bytes that read
    // as ASCII on their own.
    for (const char* text : {"時刻ではありません", "ゴール", "表", "できませんでした。"}) {
        const std::string message = cp932Bytes(text);
        EXPECT_EQ(shown(message), message + ".") << text;
    }
    // After a lead byte, even "." is the second half of one character.
    const std::string leadThenDot = "ab\x81.";
    EXPECT_EQ(shown(leadThenDot), leadThenDot + ".");
    // A lead byte left alone at the end is a single byte above ".".
    EXPECT_EQ(shown("\x82\xa0\x82"), std::string("\x82\xa0\x82."));
    EXPECT_EQ(shown("\x82\xa0."), std::string("\x82\xa0."));
}

}  // namespace
}  // namespace pelm
