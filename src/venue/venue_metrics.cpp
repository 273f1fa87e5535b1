#include "venue/venue_metrics.h"

#include <functional>

namespace pelm::venue {
namespace {

// A label value as the text format wants it: backslash, quote and line
// break escaped.
QByteArray escaped(const QString& value) {
    QByteArray out;
    for (const char byte : value.toUtf8()) {
        if (byte == '\\' || byte == '"') out += '\\';
        out += byte == '\n' ? QByteArray("\\n") : QByteArray(1, byte);
    }
    return out;
}

QByteArray labels(const VenueBoard& board) {
    const QString host = board.status ? board.status->host : QString();
    return "name=\"" + escaped(board.name) + "\",host=\"" + escaped(host) + "\"";
}

QByteArray number(double value) {
    return QByteArray::number(value, 'g', 12);
}

class Metrics {
public:
    void family(const char* name, const char* help) {
        text_ += QByteArray("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
    }
    void sample(const char* name, const QByteArray& labels, double value) {
        text_ += name + (labels.isEmpty() ? QByteArray() : "{" + labels + "}") + " " +
                 number(value) + "\n";
    }
    // One family with a sample per board that has a value.
    void perBoard(const VenueView& view, const char* name, const char* help,
                  const std::function<std::optional<double>(const VenueBoard&)>& value) {
        family(name, help);
        for (const VenueBoard& board : view.boards) {
            if (const auto sampled = value(board)) sample(name, labels(board), *sampled);
        }
    }
    QByteArray text() const { return text_; }

private:
    QByteArray text_;
};

void boardVerdicts(Metrics& metrics, const VenueView& view) {
    metrics.family("pelm_board_verdict",
                   "1 for the board's verdict, 0 for the others: fine, waiting, checking, "
                   "missing, stopped, not answering, starting, not connected, error.");
    for (const VenueBoard& board : view.boards) {
        for (const Verdict verdict : kVerdicts)
            metrics.sample("pelm_board_verdict",
                           labels(board) + ",verdict=\"" + verdictWord(verdict).toUtf8() + "\"",
                           verdict == board.verdict);
    }
}

}  // namespace

QByteArray venueMetrics(const VenueView& view) {
    Metrics metrics;
    boardVerdicts(metrics, view);
    metrics.perBoard(view, "pelm_board_trouble",
                     "1 while the board needs somebody: error, not connected, starting, "
                     "not answering, stopped or missing.",
                     [](const VenueBoard& b) { return double(inTrouble(b.verdict)); });
    metrics.perBoard(view, "pelm_board_status_age_seconds",
                     "Seconds since this server last saw the board's status change.",
                     [](const VenueBoard& b) { return b.secondsSinceChange; });
    metrics.perBoard(view, "pelm_board_clock_synchronised",
                     "1 when the board's system clock is synchronised, 0 when not.",
                     [](const VenueBoard& b) -> std::optional<double> {
                         if (!b.status || !b.status->clockSynchronised) return std::nullopt;
                         return *b.status->clockSynchronised ? 1.0 : 0.0;
                     });
    metrics.perBoard(view, "pelm_board_clock_offset_seconds",
                     "The board's clock minus this server's, as its status copies show.",
                     [](const VenueBoard& b) { return b.clockOffsetSeconds; });
    metrics.family("pelm_venue_folder_answering",
                   "1 while the status folder answers this server's looks in time.");
    metrics.sample("pelm_venue_folder_answering", {}, view.answering);
    metrics.family("pelm_venue_folder_read_age_seconds",
                   "Seconds since this server last read the status folder whole.");
    if (view.secondsSinceRead)
        metrics.sample("pelm_venue_folder_read_age_seconds", {}, *view.secondsSinceRead);
    metrics.family("pelm_venue_boards_in_trouble", "Boards whose trouble is 1.");
    metrics.sample("pelm_venue_boards_in_trouble", {}, view.inTroubleCount());
    return metrics.text();
}

}  // namespace pelm::venue
