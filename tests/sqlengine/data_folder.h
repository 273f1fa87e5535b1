#pragma once
// A data folder with one table file and an engine configuration naming it,
// all inside a temporary folder of the test's own.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/database.h"
#include "sqlengine/query.h"
#include "sqlengine/table_file.h"
#include "support/cp932_bytes.h"
#include "support/error_message.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm::testing {

// A small table with a time column, enough to exercise the engine.
inline const Cp932 kRacesDefinition = cp932Ascii(
    "CREATE TABLE races (start TEXT COLLATE TIMEOFDAY CHECK (is_time_of_day(start)), title TEXT)");

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(data);
        writeConfig("[Pelm]\r\nDEFAULT DRIVER=PARADOX\r\nPATH=" + data + "\r\n");
        createTableFile(data, "races", kRacesDefinition);
    }

    void writeConfig(std::string_view text) const { temp.write("dbengine.ini", text); }

    std::vector<Cp932> boardParameters(const std::string& path) const {
        return {cp932Ascii("PATH=") + utf8ToCp932(path), cp932Ascii("ENABLE BCD=FALSE"),
                cp932Ascii("DEFAULT DRIVER=PARADOX")};
    }

    std::unique_ptr<Database> open() const { return open(boardParameters(data)); }
    std::unique_ptr<Database> open(const std::vector<Cp932>& parameters) const {
        return std::make_unique<Database>("Pelm", parameters, std::vector<std::string>{config});
    }

    /// The message of the failed open, or "" when it opened.
    std::string openError(const std::vector<Cp932>& parameters) const {
        return errorMessage([&] { open(parameters); });
    }

    /// Runs one statement (CP932 bytes) on `database`: the engine's
    /// message, or "" when it ran.
    static std::string runError(Database& database, std::string_view statement) {
        Query query(database, "Q");
        query.addLine(Cp932(std::string(statement)));
        return errorMessage([&] { query.execute(); });
    }

    TempFolder temp;
    const std::string data = temp / "data";
    const std::string config = temp / "dbengine.ini";
};

/// The text in CP932, as the engine's messages are.
inline std::string cp932(std::string_view utf8) {
    return cp932Bytes(utf8);
}

}  // namespace pelm::testing
