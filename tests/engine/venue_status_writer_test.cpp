// The venue copy and the screen picture in a folder other users can write:
// a link planted at a name is replaced and its target left alone, and the
// journal says so once; a name the folder will not let the board take over
// sends both to a name of the board's own.

#include "engine/venue_status_writer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>

#include "support/journal_capture.h"
#include "support/manual_clock.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::TempFolder;

TEST(VenueStatusWriter, ALinkPlantedAtTheCopysNameIsReplacedNeverWrittenThrough) {
    TempFolder venue, home;
    testing::JournalCapture journal;
    ManualClock time;
    home.write(".bashrc", "alias ll='ls -l'\n");
    const std::string copy = venue / "kiosk-1-0123456789abcdef.json";
    std::filesystem::create_symlink(home / ".bashrc", copy);

    VenueStatusWriter writer(QFile::decodeName(venue.path().c_str()), "kiosk-1-0123456789abcdef",
                             time);
    for (const char* json : {"{\"n\": 1}", "{\"n\": 2}"}) {
        writer.submit(json);
        ASSERT_TRUE(writer.waitIdle(5000));
    }
    std::filesystem::remove(copy);
    std::filesystem::create_symlink(home / ".bashrc", copy);  // planted again
    writer.submit("{\"n\": 3}");
    ASSERT_TRUE(writer.waitIdle(5000));

    EXPECT_EQ(home.read(".bashrc"), "alias ll='ls -l'\n");
    EXPECT_FALSE(std::filesystem::is_symlink(copy));
    EXPECT_EQ(venue.read("kiosk-1-0123456789abcdef.json"), "{\"n\": 3}");
    const auto lines = journal.take();
    ASSERT_EQ(lines.size(), 1u) << "no failure, and a repeat is counted, not repeated";
    EXPECT_EQ(lines[0].rfind("<4>", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("symbolic link to " + home / ".bashrc"), std::string::npos) << lines[0];
}

TEST(VenueStatusWriter, ALinkPlantedAtThePicturesNameIsReplacedNeverWrittenThrough) {
    TempFolder venue, home;
    testing::JournalCapture journal;
    ManualClock time;
    home.write("photo.png", "mine");
    const std::string picture = venue / "kiosk-1-0123456789abcdef.png";
    std::filesystem::create_symlink(home / "photo.png", picture);

    VenueStatusWriter writer(QFile::decodeName(venue.path().c_str()), "kiosk-1-0123456789abcdef",
                             time);
    writer.submitPicture("PNG bytes");
    ASSERT_TRUE(writer.waitIdle(5000));

    EXPECT_EQ(home.read("photo.png"), "mine");
    EXPECT_FALSE(std::filesystem::is_symlink(picture));
    EXPECT_EQ(venue.read("kiosk-1-0123456789abcdef.png"), "PNG bytes");
    const auto lines = journal.take();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("screen picture"), std::string::npos) << lines[0];
}

TEST(VenueStatusWriter, ANameTheFolderWillNotGiveUpSendsCopyAndPictureToAnUnguessableName) {
    TempFolder venue;
    testing::JournalCapture journal;
    ManualClock time;
    // A folder at the name: not even root may rename a file over it, as no
    // user may over another's file in a sticky folder.
    std::filesystem::create_directories(venue.path() / "kiosk-1-0123456789abcdef.json" / "inside");

    VenueStatusWriter writer(QFile::decodeName(venue.path().c_str()), "kiosk-1-0123456789abcdef",
                             time);
    writer.submitPicture("PNG bytes");
    writer.submit("{\"n\": 1}");
    ASSERT_TRUE(writer.waitIdle(5000));

    const QString copy = writer.pictureName().chopped(4) + ".json";
    ASSERT_TRUE(copy.startsWith("kiosk-1-0123456789abcdef-") && copy.endsWith(".json"))
        << copy.toStdString();
    EXPECT_EQ(venue.read(copy.toStdString()), "{\"n\": 1}");
    EXPECT_EQ(venue.read(writer.pictureName().toStdString()), "PNG bytes");
    EXPECT_TRUE(std::filesystem::exists(venue.path() / "kiosk-1-0123456789abcdef.json" / "inside"));
    const auto lines = journal.take();
    ASSERT_EQ(lines.size(), 1u) << "said once, and nothing failed";
    EXPECT_NE(lines[0].find("a folder"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(copy.toStdString()), std::string::npos) << lines[0];
}

// A copy goes signed once the venue key can be read; until then it goes
// unsigned, said once, and the key is tried again after a while.
TEST(VenueStatusWriter, CopiesAreSignedWithTheVenueKeyOnceItCanBeRead) {
    TempFolder venue, keys;
    testing::JournalCapture journal;
    ManualClock time;
    const std::string keyFile = keys / "venue.key";
    VenueStatusWriter writer(QFile::decodeName(venue.path().c_str()), "kiosk-1-0123456789abcdef",
                             time, QString::fromStdString(keyFile));
    const auto written = [&](const QByteArray& json) {
        writer.submit(json);
        EXPECT_TRUE(writer.waitIdle(5000));
        return QByteArray::fromStdString(venue.read("kiosk-1-0123456789abcdef.json"));
    };
    EXPECT_EQ(written("{\"n\":1}\n"), "{\"n\":1}\n");
    keys.write("venue.key", newVenueKeyText().toStdString());
    std::filesystem::permissions(keyFile, std::filesystem::perms::owner_read);
    const VenueKey key = *readVenueKey(QString::fromStdString(keyFile));

    time.advanceMs(VenueStatusWriter::kKeyRetryMs - 1);
    EXPECT_EQ(checkSignature(written("{\"n\":2}\n"), key), Signature::Unsigned);
    time.advanceMs(1);
    const QByteArray copy = written("{\"n\":3}\n");
    EXPECT_TRUE(copy.startsWith("{\"n\":3,\"signature\":\"hmac-sha256:")) << copy.toStdString();
    EXPECT_EQ(checkSignature(copy, key), Signature::Good);
    const auto lines = journal.take();
    ASSERT_EQ(lines.size(), 2u) << "said once, and its end said";
    EXPECT_NE(lines[0].find("venue key " + keyFile + " cannot be used"), std::string::npos)
        << lines[0];
}

}  // namespace
}  // namespace pelm
