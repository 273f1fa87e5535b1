// Reading a schedule file into lines: a 10 MB file must split in well under
// a refresh (250 ms). Reports the time per file and bytes per second.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "platform/codepage.h"
#include "platform/text_file.h"

namespace {

// A schedule of about `bytes` bytes: realistic lines with Shift-JIS titles.
std::string makeSchedule(std::size_t bytes) {
    const std::string title = "\x91\xE6\x82\x50\x83\x8C\x81\x5B\x83\x58 Cup";  // 第１レース Cup
    std::string text;
    for (int race = 0; text.size() < bytes; ++race) {
        int minute = race % 1440;
        char line[64];
        std::snprintf(line, sizeof line, "%d:%02d:00,%d:%02d:30,", minute / 60, minute % 60,
                      minute / 60, minute % 60);
        text += line + title + std::to_string(race) + "\r\n";
    }
    return text;
}

void ReadScheduleFile(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(state.range(0)) << 20;
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("pelm-bench-" + std::to_string(getpid()) + ".txt");
    std::ofstream(path, std::ios::binary) << makeSchedule(bytes);
    const pelm::Cp932 schedule = pelm::utf8ToCp932(path.string());
    const pelm::TextLimits whole{2 * bytes, std::numeric_limits<std::size_t>::max()};
    std::size_t lines = 0;
    for (auto _ : state) {
        lines = pelm::splitLinesWithin(pelm::readFileStart(schedule, whole.maxBytes + 1), whole)
                    .lines.size();
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["lines"] = static_cast<double>(lines);
    std::filesystem::remove(path);
}
BENCHMARK(ReadScheduleFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void SplitLines(benchmark::State& state) {
    const std::string text = makeSchedule(static_cast<std::size_t>(state.range(0)) << 20);
    for (auto _ : state) benchmark::DoNotOptimize(pelm::splitLines(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(SplitLines)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
