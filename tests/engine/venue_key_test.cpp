// The venue key signs a copy as the board wrote it, and nothing else: a
// changed byte, another key or a signature moved elsewhere is no good one.

#include "engine/venue_key.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace pelm {
namespace {

VenueKey keyOf(char fill) {
    return VenueKey{QByteArray(kVenueKeyBytes, fill)};
}

TEST(VenueKey, ASignatureHoldsForTheBytesSignedWithThatKeyAlone) {
    const QByteArray json = "{\"host\":\"pc-1\",\"state\":\"running\"}\n";
    const QByteArray copy = signedCopy(json, keyOf('a'));
    QByteArray changed = copy;
    changed.replace("running", "stopped");
    QByteArray moved = copy;
    moved.replace("{\"host\"", "{\"x\":1,\"host\"");
    const std::pair<QByteArray, Signature> cases[] = {
        {copy, Signature::Good},
        {copy.trimmed(), Signature::Good},
        {signedCopy("{}\n", keyOf('a')), Signature::Good},
        {json, Signature::Unsigned},
        {changed, Signature::Bad},
        {moved, Signature::Bad},
        {copy.left(copy.size() - 4) + "X\"}\n", Signature::Unsigned},  // no hexadecimal digit
        {"{\"signature\":\"hmac-sha256:" + QByteArray(64, '0') + "\"}", Signature::Bad},
        {copy + "{}", Signature::Unsigned},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(checkSignature(bytes, keyOf('a')), expected) << bytes.toStdString();
    EXPECT_EQ(checkSignature(copy, keyOf('b')), Signature::Bad);
}

TEST(VenueKey, AKeyFileIsReadOnlyWhenItHoldsAKeyAndIsNoSecretOfEveryone) {
    testing::TempFolder folder;
    const auto keyIn = [&](const std::string& text, std::filesystem::perms permissions) {
        folder.write("venue.key", text);
        std::filesystem::permissions(folder / "venue.key", permissions);
        QString problem;
        const auto key = readVenueKey(QString::fromStdString(folder / "venue.key"), &problem);
        return std::pair{key, problem};
    };
    using std::filesystem::perms;
    const QByteArray made = newVenueKeyText();
    ASSERT_EQ(made.size(), 2 * kVenueKeyBytes + 1);
    const auto [key, problem] = keyIn(made.toStdString(), perms::owner_read | perms::group_read);
    ASSERT_TRUE(key) << problem.toStdString();
    EXPECT_EQ(key->secret.toHex() + "\n", made);
    EXPECT_NE(newVenueKeyText(), made);
    EXPECT_EQ(keyIn(made.toStdString(), perms::owner_read | perms::others_read).second,
              "every user of this PC may read it");
    EXPECT_FALSE(keyIn("not a key\n", perms::owner_read).first);
    EXPECT_FALSE(keyIn(made.left(40).toStdString(), perms::owner_read).first);
    EXPECT_FALSE(readVenueKey(QString::fromStdString(folder / "absent.key")));
}

}  // namespace
}  // namespace pelm
