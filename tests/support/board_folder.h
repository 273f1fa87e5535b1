#pragma once
// A working folder as the board finds it on a venue PC: an engine
// configuration with the alias "Pelm", a data folder with the race table,
// and the current directory set to it for the test's lifetime.

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/board_connection.h"
#include "engine/race_table_file.h"
#include "platform/codepage.h"
#include "sqlengine/database.h"
#include "sqlengine/table_file.h"
#include "support/cp932_bytes.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm::testing {

class BoardFolder {
public:
    BoardFolder() : previous_(std::filesystem::current_path()) {
        std::filesystem::create_directory(root_.path() / "data");
        createRaceTableFile(dataPath());
        root_.write("dbengine.ini",
                    "[Pelm]\r\nDEFAULT DRIVER=PARADOX\r\nPATH=" + dataPath() + "\r\n");
        std::filesystem::current_path(root_.path());
    }
    ~BoardFolder() { std::filesystem::current_path(previous_); }

    /// The data folder as a native path and as the board's settings hold it.
    std::string dataPath() const { return (root_.path() / "data").string(); }
    std::string dataDir() const { return cp932Bytes(dataPath()); }
    const TempFolder& root() const { return root_; }

    void writeSchedule(std::string_view bytes) const { root_.write("data/RInfo.txt", bytes); }
    void writeNotice(std::string_view bytes) const { root_.write("data/RInfomem.txt", bytes); }
    void removeSchedule() const { std::filesystem::remove(root_.path() / "data/RInfo.txt"); }
    void removeNotice() const { std::filesystem::remove(root_.path() / "data/RInfomem.txt"); }

    /// The board's connection: the alias with its three parameter lines.
    std::unique_ptr<Database> connect() const {
        return connectBoardDatabase(utf8ToCp932(dataPath()));
    }

private:
    TempFolder root_;
    std::filesystem::path previous_;
};

}  // namespace pelm::testing
