#include "engine/race_table_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "sqlengine/table_file.h"
#include "sqlengine/time_of_day_sql.h"

namespace pelm {
namespace {

constexpr std::string_view kTitleColumn =
    "rmenu TEXT CONSTRAINT rmenu_at_most_40_bytes CHECK (length(CAST(rmenu AS BLOB)) <= 40)";

std::string timeColumn(std::string_view name) {
    return std::string(name) + " TEXT COLLATE " + std::string(kTimeOfDayCollation) + " CHECK (" +
           std::string(kTimeOfDayCheck) + "(" + std::string(name) + "))";
}

}  // namespace

// Made of ASCII names only, so its bytes read the same in CP932.
const Cp932& raceTableDefinition() {
    static const Cp932 definition("CREATE TABLE rmenutxt (" + timeColumn("btime") +
                                  ", kara TEXT, " + timeColumn("etime") + ", " +
                                  std::string(kTitleColumn) + ", " + timeColumn("stime") + ")");
    return definition;
}

std::string raceTableFilePath(const std::string& folder) {
    return tableFilePath(folder, kRaceTable);
}

bool createRaceTableFile(const std::string& folder) {
    return createTableFile(folder, kRaceTable, raceTableDefinition());
}

bool raceTableFileMissing(const std::string& folder) {
    struct stat status;
    return lstat(raceTableFilePath(folder).c_str(), &status) != 0 && errno == ENOENT;
}

std::optional<Cp932> raceTableFileProblem(const std::string& folder) {
    return tableFileProblem(
        folder, kRaceTable,
        cp932Ascii("select btime,kara,etime,rmenu,stime from rmenutxt where etime>'0:00:00'"));
}

}  // namespace pelm

namespace pelm {

std::optional<Cp932> raceTableFileDamage(const std::string& folder) {
    return tableFileDamage(folder, kRaceTable);
}

std::string replaceDamagedRaceTableFile(const std::string& folder) {
    const std::string aside = moveTableFileAside(folder, kRaceTable);
    createRaceTableFile(folder);
    return aside;
}

}  // namespace pelm
