// pelmctl init: prepares a data folder for the board and points the board's
// configuration at it. Running it again changes nothing.

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
#include "platform/error.h"
#include "platform/file_descriptor.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "sqlengine/table_file.h"

namespace fs = std::filesystem;

namespace pelmctl {
namespace {

constexpr std::string_view kHelp =
    "Usage: pelmctl init DIR [--table-dir LOCAL] [--system]\n\n"
    "Prepares DIR as the board's data folder: creates the folder if needed, the\n"
    "race table file rmenutxt.db, and empty RInfo.txt and RInfomem.txt when they\n"
    "are missing (existing files are never overwritten). Adds or updates the\n"
    "alias Pelm with PATH=DIR in ./dbengine.ini, and adds DataDir=DIR to\n"
    "./PelmDp.ini when that file has no DataDir; every other line is kept.\n"
    "Running it again changes nothing.\n\n"
    "Options:\n"
    "  --table-dir LOCAL  keep the race table in LOCAL instead of DIR, for a DIR\n"
    "                     shared with other boards (a network share the writer\n"
    "                     fills): the table file goes to LOCAL, the alias gets\n"
    "                     PATH=LOCAL and ./PelmDp.ini TableDir=LOCAL; nothing is\n"
    "                     written into DIR but missing empty RInfo.txt/RInfomem.txt.\n"
    "                     A DIR on a file system that may stall (a network share,\n"
    "                     FUSE) gets LOCAL ./table without the option\n"
    "  --system           write the alias to /etc/pelm/dbengine.ini instead of\n"
    "                     ./dbengine.ini (for every board on this computer)\n\n"
    "Exit status: 0 the folder is ready, 1 a file could not be made or\n"
    "written, 2 the arguments are wrong.\n\n"
    "Examples:\n  pelmctl init /srv/pelm/data\n"
    "  pelmctl init /mnt/venue/pelm --table-dir /var/lib/pelm/table   # one of several screens\n"
    "  sudo pelmctl init --system /srv/pelm/data   # the alias in /etc/pelm/dbengine.ini\n";

/// Thrown for a step that cannot be done; the message is UTF-8.
struct Failure {
    std::string message;
};

void report(std::string_view line) {
    std::cout << "  " << line << "\n";
}

// `role` names the folder in the report: "data folder", "table folder".
void makeFolder(const std::string& dir, std::string_view role) {
    std::error_code error;
    if (fs::is_directory(dir, error)) return report(std::string(role) + " " + dir + " is there");
    fs::create_directories(dir, error);
    if (error) throw Failure{"cannot create the folder " + dir + ": " + error.message()};
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
        throw Failure{path + " is there but holds no race table (" + terminalText(*problem) +
                      "); move it aside and run init again"};
    }
    report("race table " + path + " is there");
}

void makeEmptyFile(const std::string& path, std::string_view role) {
    const pelm::FileDescriptor file(
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (file) {
        return report("created the empty " + std::string(role) + " file " + path);
    }
    if (errno != EEXIST) throw Failure{"cannot create " + path + ": " + std::strerror(errno)};
    report(std::string(role) + " file " + path + " is there, left as it is");
}

pelm::IniFile loadForUpdate(const std::string& path) {
    std::optional<pelm::IniFile> file = pelm::IniFile::loadForUpdate(path);
    if (!file) throw Failure{"cannot read " + path};
    return std::move(*file);
}

void save(const pelm::IniFile& file, const std::string& path) {
    std::error_code ignored;
    if (fs::path(path).has_parent_path())
        fs::create_directories(fs::path(path).parent_path(), ignored);
    if (!file.saveAtomically(path)) throw Failure{"cannot write " + path};
}

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

void printNextSteps(const std::string& dir) {
    std::cout << "\nNext: write the day's races into " << dir
              << "/RInfo.txt (Shift-JIS, one \"start,end,title\" line each,\n"
                 "for example 10:00:00,10:30:00,Heat 1), then start PelmDp in "
              << fs::current_path().string() << ".\n";
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

void prepare(const std::string& dir, const std::optional<std::string>& tableDir,
             const std::string& configPath) {
    makeFolder(dir, "data folder");
    if (tableDir) {
        if (const auto stalls = pelm::stallingTableFolder(pelm::utf8ToCp932(*tableDir)))
            report("warning: the table folder " + *stalls + "; the board keeps its table in " +
                   pelm::nativePath(pelm::ownTableFolder(pelm::currentDirectory())) +
                   " instead, as long as it is set so");
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

int run(const Arguments& arguments) {
    if (arguments.positional.size() != 1)
        return usageError("init takes one folder: pelmctl init DIR");
    const std::string dir = arguments.positional[0];
    std::optional<std::string> tableDir = arguments.option("--table-dir");
    if (tableDir && tableDir->empty()) return usageError("--table-dir needs a folder");
    const std::string configPath =
        arguments.flag("--system") ? "/etc/pelm/dbengine.ini" : "./dbengine.ini";
    std::cout << "pelmctl init " << dir << ":\n";
    try {
        if (!tableDir) tableDir = localTableFor(dir);
        prepare(dir, tableDir, configPath);
    } catch (const Failure& failure) {
        std::cerr << "pelmctl: " << failure.message << "\n";
        return kExitFailed;
    } catch (const pelm::Error& error) {
        std::cerr << "pelmctl: " << terminalText(error.message()) << "\n";
        return kExitFailed;
    }
    printNextSteps(dir);
    return kExitOk;
}

const CommandRegistration registration({"init",
                                        "prepare a data folder and point the board at it",
                                        kHelp,
                                        {"--table-dir"},
                                        {"--system"},
                                        run});

}  // namespace
}  // namespace pelmctl
