// `pelmctl settings`, run as the operator runs it, in a folder of its own.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include "platform/codepage.h"
#include "support/cp932_bytes.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

using testing::TempFolder;

using testing::Outcome;

Outcome pelmctl(const TempFolder& folder, const std::string& arguments) {
    return testing::runProgram("'" PELMCTL_PATH "' " + arguments, folder.path());
}

QJsonObject jsonOf(const Outcome& outcome) {
    QJsonParseError error;
    QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(outcome.output), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << outcome.output;
    return document.object();
}

QStringList defaultsOf(const QJsonObject& object) {
    QStringList keys;
    for (const QJsonValue& key : object["defaults"].toArray()) keys << key.toString();
    return keys;
}

TEST(PelmctlSettings, WithoutAFileShowsEveryDefault) {
    TempFolder folder;
    Outcome outcome = pelmctl(folder, "settings --json");
    EXPECT_EQ(outcome.status, 0);
    QJsonObject json = jsonOf(outcome);
    EXPECT_EQ(json["DataDir"].toString(), "C:\\Program Files\\Norvek\\Pelm");
    EXPECT_EQ(json.size(), 8);
    EXPECT_EQ(json["Logo"].toString(), "on");
    EXPECT_EQ(json["Setuzoku"].toString(), QString("未接続"));
    EXPECT_EQ(json["Taiki"].toString(), QString("待機中"));
    EXPECT_EQ(json["Font"].toString(), QString("ＭＳ Ｐ明朝"));
    EXPECT_EQ(json["Color"].toInt(), 15429970);
    EXPECT_EQ(json["Size"].toInt(), 100);
    EXPECT_EQ(defaultsOf(json),
              (QStringList{"DataDir", "Logo", "Setuzoku", "Taiki", "Font", "Color", "Size"}));
}

TEST(PelmctlSettings, DecodesShiftJisAndEscapesQuotesAndControlCharacters) {
    TempFolder folder;
    folder.write("PelmDp.ini", cp932Bytes("[Env]\r\nSetuzoku=回線\"断\"\\\r\nTaiki=a\tb\x1b!\r\n"
                                          "[Font]\r\nColor=0x0000FF\r\nSize=abc\r\n"));
    QJsonObject json = jsonOf(pelmctl(folder, "settings --json"));
    EXPECT_EQ(json["Setuzoku"].toString(), QString("回線\"断\"\\"));
    EXPECT_EQ(json["Taiki"].toString(), QString("a\tb\x1b!"));
    EXPECT_EQ(json["Color"].toInt(), 255);
    EXPECT_EQ(json["Size"].toInt(), 100);
    EXPECT_EQ(defaultsOf(json), (QStringList{"DataDir", "Logo", "Font", "Size"}));
}

TEST(PelmctlSettings, ListingReadsTheGivenFileAndMarksDefaults) {
    TempFolder folder;
    std::filesystem::create_directory(folder.path() / "設定");
    folder.write("設定/board.ini", "[Env]\r\nLogo=On\r\n[Font]\r\nColor=255\r\n");
    Outcome outcome = pelmctl(folder, "settings --ini 設定/board.ini");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.output.find("Settings file 設定/board.ini\n"), std::string::npos);
    EXPECT_NE(outcome.output.find("\nLogo      On  (large logo hidden)\n"), std::string::npos);
    EXPECT_NE(outcome.output.find("\nColor     255  (red 255, green 0, blue 0)\n"),
              std::string::npos);
    EXPECT_NE(outcome.output.find("\nSize      100  (default)\n"), std::string::npos);
    EXPECT_NE(pelmctl(folder, "settings").output.find("PelmDp.ini is missing"), std::string::npos);
}

TEST(PelmctlSettings, ALogoNamingAPictureFileShowsThatPicture) {
    TempFolder folder;
    folder.write("logo.bmp", "BM");
    folder.write("PelmDp.ini", "[Env]\r\nLogo=" + folder / "logo.bmp" + "\r\n");
    EXPECT_NE(pelmctl(folder, "settings").output.find("(the large logo from this picture"),
              std::string::npos);
    folder.write("PelmDp.ini", "[Env]\r\nLogo=" + folder / "missing.bmp" + "\r\n");
    EXPECT_NE(pelmctl(folder, "settings").output.find("(large logo hidden)"), std::string::npos);
}

TEST(PelmctlSettings, RejectsWrongArgumentsAndExplainsItsOptions) {
    TempFolder folder;
    EXPECT_EQ(pelmctl(folder, "settings extra").status, 2);
    EXPECT_EQ(pelmctl(folder, "settings --ini").status, 2);
    EXPECT_EQ(pelmctl(folder, "settings --verbose").status, 2);
    Outcome help = pelmctl(folder, "settings --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--ini FILE"), std::string::npos);
    EXPECT_NE(help.output.find("--json"), std::string::npos);
}

}  // namespace
}  // namespace pelm
