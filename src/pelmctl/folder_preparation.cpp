#include "pelmctl/folder_preparation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "engine/board_connection.h"
#include "engine/board_settings.h"
#include "engine/race_table_file.h"
#include "engine/race_table_place.h"
#include "engine/schedule.h"
#include "pelmctl/command.h"
#include "platform/codepage.h"
#include "platform/file_descriptor.h"
#include "platform/paths.h"
#include "sqlengine/table_file.h"

namespace fs = std::filesystem;

namespace pelmctl {
namespace {

// `role` names the folder in the report: "data folder", "table folder".
void makeFolder(const std::string& dir, std::string_view role) {
    std::error_code error;
    if (fs::is_directory(dir, error)) return report(std::string(role) + " " + dir + " is there");
    fs::create_directories(dir, error);
    if (error) throw PreparationFailure{"cannot create the folder " + dir + ": " + error.message()};
    report("created the " + std::string(role) + " " + dir);
}

// A damaged table is replaced as the board replaces it: the table holds
// nothing the schedule does not, and the old file stays beside for a look.
void makeRaceTable(const std::string& dir) {
    const std::string path = pelm::raceTableFilePath(dir);
    if (pelm::createRaceTableFile(dir)) return report("created the race table " + path);
    if (auto damage = pelm::raceTableFileDamage(dir)) {
        const std::string aside = pelm::replaceDamagedRaceTableFile(dir);
        return report("race table " + path + " was damaged (" + terminalText(*damage) +
                      "): moved to " + aside + " and made afresh");
    }
    if (auto problem = pelm::raceTableFileProblem(dir)) {
        throw PreparationFailure{path + " is there but holds no race table (" +
                                 terminalText(*problem) + "); move it aside and run init again"};
    }
    report("race table " + path + " is there");
}

void makeEmptyFile(const std::string& path, std::string_view role) {
    const pelm::FileDescriptor file(
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (file) {
        return report("created the empty " + std::string(role) + " file " + path);
    }
    if (errno != EEXIST)
        throw PreparationFailure{"cannot create " + path + ": " + std::strerror(errno)};
    report(std::string(role) + " file " + path + " is there, left as it is");
}

}  // namespace

void report(std::string_view line) {
    std::cout << "  " << line << "\n";
}

pelm::IniFile loadForUpdate(const std::string& path) {
    std::optional<pelm::IniFile> file = pelm::IniFile::loadForUpdate(path);
    if (!file) throw PreparationFailure{"cannot read " + path};
    return std::move(*file);
}

void save(const pelm::IniFile& file, const std::string& path) {
    std::error_code ignored;
    if (fs::path(path).has_parent_path())
        fs::create_directories(fs::path(path).parent_path(), ignored);
    if (!file.saveAtomically(path)) throw PreparationFailure{"cannot write " + path};
}

namespace {

// The board's own DEFAULT DRIVER only counts when the alias has one.
void pointAlias(const std::string& configPath, const std::string& dir) {
    pelm::IniFile config = loadForUpdate(configPath);
    const pelm::Cp932 path = pelm::utf8ToCp932(dir);
    const std::optional<pelm::Cp932> oldPath = config.value(pelm::kBoardAlias, "PATH");
    const bool hasDriver = config.value(pelm::kBoardAlias, "DEFAULT DRIVER").has_value();
    if (oldPath == path && hasDriver)
        return report("alias Pelm in " + configPath + " already has PATH=" + dir);
    config.setValue(pelm::kBoardAlias, "PATH", path);
    if (!hasDriver)
        config.setValue(pelm::kBoardAlias, "DEFAULT DRIVER", pelm::utf8ToCp932(pelm::kBoardDriver));
    save(config, configPath);
    if (!oldPath) return report("added the alias Pelm (PATH=" + dir + ") to " + configPath);
    report("set PATH=" + dir + " for the alias Pelm in " + configPath + " (it was " +
           terminalText(*oldPath) + ")");
}

void pointSettings(const std::string& settingsPath, const std::string& dir) {
    pelm::IniFile settings = loadForUpdate(settingsPath);
    const std::optional<pelm::Cp932> dataDir =
        settings.value(pelm::kDataDirPlace.section, pelm::kDataDirPlace.name);
    if (dataDir == pelm::utf8ToCp932(dir))
        return report(settingsPath + " already has DataDir=" + dir);
    if (dataDir) {
        return report("note: " + settingsPath + " keeps DataDir=" + terminalText(*dataDir) +
                      "; the board shows that folder, not " + dir);
    }
    settings.setValue(pelm::kDataDirPlace.section, pelm::kDataDirPlace.name,
                      pelm::utf8ToCp932(dir));
    save(settings, settingsPath);
    report("added DataDir=" + dir + " to " + settingsPath);
}

// The table folder is what this board alone writes; a TableDir already
// there is replaced, since asking for one is asking for this one.
void pointTableDir(const std::string& settingsPath, const std::string& tableDir) {
    pelm::IniFile settings = loadForUpdate(settingsPath);
    const std::optional<pelm::Cp932> old =
        settings.value(pelm::kTableDirPlace.section, pelm::kTableDirPlace.name);
    if (old == pelm::utf8ToCp932(tableDir))
        return report(settingsPath + " already has TableDir=" + tableDir);
    settings.setValue(pelm::kTableDirPlace.section, pelm::kTableDirPlace.name,
                      pelm::utf8ToCp932(tableDir));
    save(settings, settingsPath);
    if (!old) return report("added TableDir=" + tableDir + " to " + settingsPath);
    report("set TableDir=" + tableDir + " in " + settingsPath + " (it was " + terminalText(*old) +
           ")");
}

// Without --table-dir a TableDir already set still decides where the table
// is: said, so nobody looks for it in the data folder.
void noteTableDir(const std::string& settingsPath) {
    const std::optional<pelm::Cp932> tableDir =
        loadForUpdate(settingsPath).value(pelm::kTableDirPlace.section, pelm::kTableDirPlace.name);
    if (!tableDir) return;
    report("note: " + settingsPath + " keeps TableDir=" + terminalText(*tableDir) +
           "; the board uses the race table there");
}

// A data folder that may stall keeps no race table: the board rebuilds it
// at every refresh, and on a share each refresh would wait for the share.
// Said, with where it goes instead (race_table_place.h).
std::optional<std::string> localTableFor(const std::string& dir) {
    const std::optional<std::string> stalls = pelm::stallingTableFolder(pelm::utf8ToCp932(dir));
    if (!stalls) return std::nullopt;
    const std::string local = pelm::nativePath(pelm::ownTableFolder(pelm::currentDirectory()));
    report("the race table stays off the data folder: " + *stalls + "; it goes to " + local);
    return local;
}

void warnStallingTableFolder(const std::string& tableDir) {
    const std::optional<std::string> stalls =
        pelm::stallingTableFolder(pelm::utf8ToCp932(tableDir));
    if (!stalls) return;
    report("warning: the table folder " + *stalls + "; the board keeps its table in " +
           pelm::nativePath(pelm::ownTableFolder(pelm::currentDirectory())) +
           " instead, as long as it is set so");
}

}  // namespace

void prepareBoardFolder(const std::string& dir, const std::optional<std::string>& chosenTableDir,
                        const std::string& configPath) {
    makeFolder(dir, "data folder");
    if (chosenTableDir) warnStallingTableFolder(*chosenTableDir);
    const std::optional<std::string> tableDir =
        chosenTableDir ? chosenTableDir : localTableFor(dir);
    if (tableDir) {
        makeFolder(*tableDir, "table folder");
        report("the race table is kept in " + *tableDir + "; nothing else is written into " + dir);
    }
    const std::string tableFolder = tableDir.value_or(dir);
    makeRaceTable(tableFolder);
    makeEmptyFile((fs::path(dir) / pelm::kScheduleFileName).string(), "schedule");
    makeEmptyFile((fs::path(dir) / pelm::kNoticeFileName).string(), "notice");
    pointAlias(configPath, tableFolder);
    pointSettings("./PelmDp.ini", dir);
    tableDir ? pointTableDir("./PelmDp.ini", *tableDir) : noteTableDir("./PelmDp.ini");
}

}  // namespace pelmctl
