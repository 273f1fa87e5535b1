// pelmctl check: the schedule as the board will read it, line by line.

#include <iostream>

#include "engine/race_table_place.h"
#include "engine/schedule.h"
#include "engine/schedule_check.h"
#include "pelmctl/board_folder.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace pelmctl {
namespace {

constexpr std::string_view kHelp =
    "Usage: pelmctl check [--data DIR]\n\n"
    "Reads the schedule RInfo.txt of the data folder as the board does and reports,\n"
    "one line each as RInfo.txt:LINE: error|warning: text, every line the board\n"
    "would skip, every time the board would reject, an end not after its start,\n"
    "fields the board will cut, bytes that are no Shift-JIS text, races out of\n"
    "start order, overlapping races and duplicates, a NUL byte that hides the lines\n"
    "after it, and lines beyond what the board reads (10000 lines or 4 MB); and a race\n"
    "table folder on a file system that may stall, which the board does not use.\n\n"
    "Options:\n"
    "  --data DIR   check this data folder instead of DataDir of ./PelmDp.ini\n\n"
    "Exit status: 0 no errors (warnings allowed), 1 errors found or the schedule\n"
    "cannot be read, 2 wrong arguments or no ./PelmDp.ini and no --data.\n\n"
    "Example:\n  pelmctl check --data /srv/pelm/data\n";

// The table is rebuilt at every refresh; on a share each refresh would
// wait for it, so the board keeps it elsewhere and says so: as here.
int warnStallingTable(const pelm::BoardSettings& settings) {
    const std::optional<std::string> stalls = pelm::stallingTableFolder(settings.raceTableFolder());
    if (!stalls) return 0;
    std::cout << "PelmDp.ini: warning: the race table folder " << *stalls
              << "; the board keeps its table in "
              << pelm::nativePath(pelm::ownTableFolder(pelm::currentDirectory()))
              << " instead (pelmctl init, run again here, sets TableDir to it)\n";
    return 1;
}

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("check takes no words, only options");
    useSystemLocale();
    const std::optional<pelm::BoardSettings> settings = boardSettingsFor(arguments);
    if (!settings) return kExitUsage;
    std::string bytes;
    try {
        bytes = pelm::readFileStart(pelm::schedulePath(settings->dataDir),
                                    pelm::kScheduleLimits.maxBytes + 1);
    } catch (const pelm::Error& error) {
        std::cout << "RInfo.txt: error: " << terminalText(error.message()) << "\n";
        return kExitFailed;
    }
    const pelm::ScheduleCheck check = pelm::checkScheduleBytes(bytes, pelm::currentLocaleTime());
    int errors = 0, warnings = 0;
    for (const pelm::Finding& finding : check.findings) {
        bool error = finding.severity == pelm::Finding::Severity::Error;
        (error ? errors : warnings)++;
        std::cout << "RInfo.txt:" << finding.line << ": " << (error ? "error" : "warning") << ": "
                  << finding.message << "\n";
    }
    if (check.lines == 0) std::cout << "RInfo.txt: the schedule is empty; the board waits\n";
    warnings += warnStallingTable(*settings);
    std::cout << check.lines << " lines, " << errors << " errors, " << warnings << " warnings\n";
    return errors > 0 ? kExitFailed : kExitOk;
}

const CommandRegistration registration(
    {"check", "check the schedule before a race day", kHelp, {"--data"}, {}, run});

}  // namespace
}  // namespace pelmctl
