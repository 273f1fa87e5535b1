// What a look at a large venue costs the control room's event loop: 500
// copies of a copy's largest size, every one changed since the last look,
// taken into the watch, judged, and written as /venue.json and /metrics.
// The copies are parsed where they are read, off the event loop; that
// part is timed on its own.

#include <benchmark/benchmark.h>

#include "venue/venue_json.h"
#include "venue/venue_metrics.h"
#include "venue/venue_watch.h"

namespace pelm::venue {
namespace {

constexpr int kBoards = 500;

std::string largestCopy(int board, qint64 writtenMs) {
    BoardStatus status;
    status.pid = board;
    status.state = BoardState::Running;
    status.host = QStringLiteral("pc-%1").arg(board);
    status.workingFolder = "/home/board/pelm";
    for (int row = 0; row < kRowsInSight; ++row)
        status.rows.append({"10:00:00", "10:20:00", QString(480, QChar(0x30EC))});
    status.error = QString(900, QLatin1Char('x'));
    status.writtenAt = QDateTime::fromMSecsSinceEpoch(writtenMs, Qt::UTC);
    return statusJson(status).toStdString();
}

FolderLook lookAt(qint64 ms) {
    FolderLook look;
    look.listed = look.complete = true;
    for (int board = 0; board < kBoards; ++board) {
        const std::string name = "pc-" + std::to_string(board) + "-a.json";
        look.names.push_back(name);
        look.copies.push_back({name, checkCopy(largestCopy(board, ms), std::nullopt), 0, ms});
    }
    return look;
}

void CheckCopiesWhereRead(benchmark::State& state) {
    const std::string copy = largestCopy(1, 0);
    for (auto _ : state) benchmark::DoNotOptimize(checkCopy(copy, std::nullopt));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CheckCopiesWhereRead);

// The parts of a look on the event loop: taking it into the watch, the
// view made of it, and the view written for the page and for Prometheus.
void TakeLook(benchmark::State& state) {
    VenueWatch watch("/venue", VenueWatch::kControlRoomPatienceMs);
    qint64 ms = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FolderLook look = lookAt(ms += 500);
        state.ResumeTiming();
        watch.take(std::move(look), ms, ms);
    }
}
BENCHMARK(TakeLook)->Unit(benchmark::kMillisecond);

// A watch that has seen every copy change.
const VenueWatch& watched() {
    static const VenueWatch watch = [] {
        VenueWatch made("/venue", VenueWatch::kControlRoomPatienceMs);
        for (qint64 ms : {0, 500}) made.take(lookAt(ms), ms, ms);
        return made;
    }();
    return watch;
}

void MakeView(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(watched().view(1000, 1000));
}
BENCHMARK(MakeView)->Unit(benchmark::kMillisecond);

void WriteVenueJson(benchmark::State& state) {
    const VenueView view = watched().view(1000, 1000);
    qsizetype bytes = 0;
    for (auto _ : state) bytes = venueJson(view, QDateTime::currentDateTimeUtc()).size();
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(WriteVenueJson)->Unit(benchmark::kMillisecond);

void WriteMetrics(benchmark::State& state) {
    const VenueView view = watched().view(1000, 1000);
    qsizetype bytes = 0;
    for (auto _ : state) bytes = venueMetrics(view).size();
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(WriteMetrics)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelm::venue

BENCHMARK_MAIN();
