// One board refresh's statements on the race table: empty it, insert N
// races, select the upcoming ones, look up the previous race; all in one
// transaction, as the refresh runs them. Measured on a table file in a
// temporary folder (with the bytes the process wrote per refresh) and on the
// same table file in a folder held in memory (/dev/shm) as the floor; the
// ratio at N = 100 should stay within 2.
// A whole refresh (files read, board written) is measured against the same
// floor, and at 20 races it tells what the idle engine costs a core; a
// refresh that meets a new schedule tells what a rebuild costs per race.
//
// The folder is made under $TMPDIR (else /tmp); point TMPDIR at the disk
// the board's data folder lives on to count what reaches that disk.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>

#include "engine/board_connection.h"
#include "engine/data_file_reader.h"
#include "engine/race_table.h"
#include "engine/race_table_file.h"
#include "engine/refresh_cycle.h"
#include "platform/codepage.h"
#include "sqlengine/database.h"
#include "sqlengine/table_file.h"

namespace {

namespace fs = std::filesystem;
using namespace pelm;

const Cp932 kClock = cp932Ascii("12:00:00");

std::string timeText(int seconds) {
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600 % 24, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

// N races spread over the day, so about half are upcoming at noon.
std::vector<RaceEntry> racesOfTheDay(int count) {
    std::vector<RaceEntry> races;
    const int step = 86000 / count;
    for (int i = 0; i < count; ++i) {
        races.push_back({Cp932(timeText(i * step)), Cp932(timeText(i * step + step)),
                         utf8ToCp932("第" + std::to_string(i + 1) + "競走 O'Brien Cup")});
    }
    return races;
}

void refresh(Database& database, Query& work, Query& menu, const std::vector<RaceEntry>& races) {
    Database::CommittingTransaction transaction(database);
    deleteRaceRows(work);
    for (const RaceEntry& race : races) insertRaceRow(work, race);
    openUpcomingRaces(menu, kClock);
    const Cp932 start = menu.fieldText("btime");
    if (!start.empty()) {
        openPreviousRace(work, start);
    } else {
        openWholeTable(work);
        work.last();
    }
    transaction.commit();
}

// What /proc/self/io says this process has written so far.
struct WrittenBytes {
    double toDisk = 0;   // write_bytes: reached the block layer
    double anyFile = 0;  // wchar: passed to write() and the like
};

WrittenBytes writtenSoFar() {
    std::ifstream io("/proc/self/io");
    std::map<std::string, double> values;
    std::string key;
    double value;
    while (io >> key >> value) values[key] = value;
    return {values["write_bytes:"], values["wchar:"]};
}

class DataFolder {
public:
    explicit DataFolder(const fs::path& base = fs::temp_directory_path()) {
        std::string pattern = (base / "pelm-bench-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
        fs::create_directory(root_ / "data");
        createRaceTableFile(data());
        std::ofstream(root_ / "dbengine.ini")
            << "[Pelm]\r\nDEFAULT DRIVER=PARADOX\r\nPATH=" << data() << "\r\n";
    }
    ~DataFolder() { fs::remove_all(root_); }

    std::string data() const { return (root_ / "data").string(); }
    std::unique_ptr<Database> open() const {
        return std::make_unique<Database>(
            "Pelm", pelm::boardConnectionParameters(pelm::utf8ToCp932(data())),
            std::vector<std::string>{(root_ / "dbengine.ini").string()});
    }

private:
    fs::path root_;
};

void measureTicks(benchmark::State& state, Database& database) {
    Query work(database, "Qwork"), menu(database, "Qmenu");
    const std::vector<RaceEntry> races = racesOfTheDay(static_cast<int>(state.range(0)));
    refresh(database, work, menu, races);  // the table reaches its size once
    const WrittenBytes before = writtenSoFar();
    for (auto _ : state) refresh(database, work, menu, races);
    const WrittenBytes after = writtenSoFar();
    using benchmark::Counter;
    state.counters["disk_B/tick"] = Counter(after.toDisk - before.toDisk, Counter::kAvgIterations);
    state.counters["wchar_B/tick"] =
        Counter(after.anyFile - before.anyFile, Counter::kAvgIterations);
}

void BM_TableFileTick(benchmark::State& state) {
    DataFolder folder;
    std::unique_ptr<Database> database = folder.open();
    measureTicks(state, *database);
}

// The floor: a file system in memory, where no write reaches a disk.
void BM_InMemoryTick(benchmark::State& state) {
    DataFolder folder(fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                   : fs::temp_directory_path());
    std::unique_ptr<Database> database = folder.open();
    measureTicks(state, *database);
}

std::string scheduleOfTheDay(int races) {
    std::string schedule;
    for (const RaceEntry& race : racesOfTheDay(races))
        schedule += race.start.bytes() + "," + race.end.bytes() + "," + race.title.bytes() + "\r\n";
    return schedule;
}

// A board over a data folder whose schedule holds N races, at noon.
struct BenchBoard {
    explicit BenchBoard(int races) {
        writeSchedule(scheduleOfTheDay(races));
        std::ofstream(folder.data() + "/RInfomem.txt", std::ios::binary) << "notice\r\n";
        settings.dataDir = utf8ToCp932(folder.data());
    }
    void writeSchedule(const std::string& bytes) const {
        std::ofstream(folder.data() + "/RInfo.txt", std::ios::binary | std::ios::trunc) << bytes;
    }
    // As the board's runner does it at each beat: the files as last read,
    // a read of a local folder answering at once.
    void refresh() {
        if (std::optional<DataFiles> fresh = reader.take(settings.dataDir))
            files = std::move(*fresh);
        cycle.refresh(files);
    }

    DataFolder folder;
    std::unique_ptr<Database> database = folder.open();
    BoardSettings settings = BoardSettings::defaults();
    FixedClock clock{TimeOfDay(12 * 3600 * 1000)};
    RecordingBoard board;
    RefreshCycle cycle{*database, settings, clock, board};
    DataFileReader reader;
    DataFiles files;
};

// The whole refresh as the board runs it, schedule and notice files
// included: an idle board, the schedule and the clock text unchanged.
void BM_FullRefresh(benchmark::State& state) {
    BenchBoard board(static_cast<int>(state.range(0)));
    for (auto _ : state) board.refresh();
}

// A refresh that finds a new schedule every time: what a change costs.
void BM_NewScheduleRefresh(benchmark::State& state) {
    BenchBoard board(static_cast<int>(state.range(0)));
    const std::string schedules[2] = {scheduleOfTheDay(static_cast<int>(state.range(0))),
                                      scheduleOfTheDay(static_cast<int>(state.range(0))) + "\r\n"};
    int turn = 0;
    for (auto _ : state) {
        state.PauseTiming();
        board.writeSchedule(schedules[turn ^= 1]);
        state.ResumeTiming();
        board.refresh();
    }
}

BENCHMARK(BM_FullRefresh)
    ->Arg(10)
    ->Arg(20)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_NewScheduleRefresh)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_TableFileTick)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_InMemoryTick)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Keeps the median times of each benchmark and size for the closing lines;
// CPU time too, since on a loaded machine wall time says more of the load.
class MedianKeeper : public benchmark::ConsoleReporter {
public:
    MedianKeeper() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name != "median") continue;
            const std::string name = run.run_name.function_name + "/" + run.run_name.args;
            medians[name] = run.GetAdjustedRealTime();
            cpuMedians[name] = run.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> medians;
    std::map<std::string, double> cpuMedians;
};

void printRatio(const MedianKeeper& keeper, const std::string& measured, const std::string& size) {
    const auto file = keeper.medians.find(measured + "/" + size);
    const auto memory = keeper.medians.find("BM_InMemoryTick/" + size);
    if (file == keeper.medians.end() || memory == keeper.medians.end()) return;
    std::cout << "N=" << size << ": " << measured << " " << file->second << " us, in memory "
              << memory->second << " us per tick; ratio " << file->second / memory->second
              << " (target <= 2)\n";
}

void printIdleCost(const MedianKeeper& keeper) {
    const auto refresh = keeper.cpuMedians.find("BM_FullRefresh/20");
    if (refresh == keeper.cpuMedians.end()) return;
    const double percent = refresh->second * 4 / 1e6 * 100;
    std::cout << "Idle engine, 20 races at 4 refreshes a second: " << percent
              << " % of one core (target < 1)\n";
}

}  // namespace

// What one rebuild costs per race: the statements alone, and a whole
// refresh that meets a new schedule.
void printRebuildCost(const MedianKeeper& keeper) {
    for (const char* size : {"1000", "10000"}) {
        for (const char* measured : {"BM_TableFileTick", "BM_NewScheduleRefresh"}) {
            const auto cpu = keeper.cpuMedians.find(std::string(measured) + "/" + size);
            if (cpu == keeper.cpuMedians.end()) continue;
            std::cout << "N=" << size << ": " << measured << " " << cpu->second / 1000
                      << " ms CPU, " << cpu->second / std::stod(size) << " us per race\n";
        }
    }
}

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianKeeper keeper;
    benchmark::RunSpecifiedBenchmarks(&keeper);
    std::cout << "\n";
    printRatio(keeper, "BM_TableFileTick", "100");
    printRatio(keeper, "BM_FullRefresh", "100");
    printIdleCost(keeper);
    printRebuildCost(keeper);
    benchmark::Shutdown();
    return 0;
}
