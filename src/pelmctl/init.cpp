// pelmctl init: prepares a data folder for the board and points the board's
// configuration at it. Running it again changes nothing.

#include <filesystem>
#include <iostream>

#include "pelmctl/command.h"
#include "pelmctl/folder_preparation.h"
#include "platform/error.h"

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

void printNextSteps(const std::string& dir) {
    std::cout << "\nNext: write the day's races into " << dir
              << "/RInfo.txt (Shift-JIS, one \"start,end,title\" line each,\n"
                 "for example 10:00:00,10:30:00,Heat 1), then start PelmDp in "
              << fs::current_path().string() << ".\n";
}

int run(const Arguments& arguments) {
    if (arguments.positional.size() != 1)
        return usageError("init takes one folder: pelmctl init DIR");
    const std::string dir = arguments.positional[0];
    const std::optional<std::string> tableDir = arguments.option("--table-dir");
    if (tableDir && tableDir->empty()) return usageError("--table-dir needs a folder");
    const std::string configPath =
        arguments.flag("--system") ? "/etc/pelm/dbengine.ini" : "./dbengine.ini";
    std::cout << "pelmctl init " << dir << ":\n";
    try {
        prepareBoardFolder(dir, tableDir, configPath);
    } catch (const PreparationFailure& failure) {
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
