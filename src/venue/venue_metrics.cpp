#include "venue/venue_metrics.h"

#include <functional>

namespace pelm::venue {
namespace {

constexpr int kMaxLabelChars = 64;

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

// A board's labels: its name and host as people read them, cut to a
// bound so no copy can swell the text, and its id, which alone tells its
// series from every other board's, whatever the two others say.
QByteArray labels(const VenueBoard& board) {
    const QString host = board.status ? board.status->host : QString();
    return "name=\"" + escaped(cutToFit(board.name, kMaxLabelChars)) + "\",host=\"" +
           escaped(cutToFit(host, kMaxLabelChars)) + "\",board=\"" + escaped(board.id) + "\"";
}

QByteArray number(double value) {
    return QByteArray::number(value, 'g', 12);
}

// The text, written once per look whoever scrapes it how often: each
// board's labels are made once, and every sample appended in place.
class Metrics {
public:
    explicit Metrics(const VenueView& view) : view_(view) {
        for (const VenueBoard& board : view.boards) labels_.push_back(labels(board));
        text_.reserve(qsizetype(view.boards.size()) * 2048 + 4096);
    }
    void family(const char* name, const char* help) {
        text_.append("# HELP ").append(name).append(' ').append(help);
        text_.append("\n# TYPE ").append(name).append(" gauge\n");
    }
    void sample(const char* name, const QByteArray& labels, double value,
                const QByteArray& more = {}) {
        text_.append(name);
        if (!labels.isEmpty()) text_.append('{').append(labels).append(more).append('}');
        text_.append(' ').append(number(value)).append('\n');
    }
    // One family with a sample per board that has a value.
    void perBoard(const char* name, const char* help,
                  const std::function<std::optional<double>(const VenueBoard&)>& value) {
        family(name, help);
        for (std::size_t i = 0; i < view_.boards.size(); ++i) {
            if (const auto sampled = value(view_.boards[i])) sample(name, labels_[i], *sampled);
        }
    }
    void verdicts() {
        family("pelm_board_verdict",
               "1 for the board's verdict, 0 for the others: fine, waiting, checking, "
               "missing, stopped, not answering, starting, not connected, error, forged.");
        for (std::size_t i = 0; i < view_.boards.size(); ++i) {
            for (const Verdict verdict : kVerdicts)
                sample("pelm_board_verdict", labels_[i], verdict == view_.boards[i].verdict,
                       ",verdict=\"" + verdictWord(verdict).toUtf8() + "\"");
        }
    }
    QByteArray text() const { return text_; }

private:
    const VenueView& view_;
    std::vector<QByteArray> labels_;
    QByteArray text_;
};

void copyCounts(Metrics& metrics, const CopyCounts& copies) {
    metrics.family("pelm_venue_copies",
                   "Status copies the folder listed, by what became of them at the last look: "
                   "read, unread (past the bound on copies read), not_read (the read failed or "
                   "did not answer; their boards keep their last state), damaged, forged.");
    const std::pair<const char*, int> kinds[] = {
        {"listed", copies.listed},    {"read", copies.read},       {"unread", copies.unread},
        {"not_read", copies.notRead}, {"damaged", copies.damaged}, {"forged", copies.forged}};
    for (const auto& [kind, count] : kinds)
        metrics.sample("pelm_venue_copies", QByteArray("kind=\"") + kind + "\"", count);
}

std::optional<double> readSeconds(const VenueBoard& board,
                                  std::optional<qint64> BoardStatus::*milliseconds) {
    if (!board.status || !((*board.status).*milliseconds)) return std::nullopt;
    return *((*board.status).*milliseconds) / 1000.0;
}

}  // namespace

QByteArray venueMetrics(const VenueView& view) {
    Metrics metrics(view);
    metrics.verdicts();
    metrics.perBoard("pelm_board_trouble",
                     "1 while the board needs somebody: forged, error, not connected, starting, "
                     "not answering, stopped or missing, or copies of two writers claim it.",
                     [](const VenueBoard& b) { return double(b.trouble()); });
    metrics.perBoard("pelm_board_conflict",
                     "1 while more than one copy, or more than one writer, claims the board.",
                     [](const VenueBoard& b) { return double(b.conflict); });
    metrics.perBoard("pelm_board_status_age_seconds",
                     "Seconds since this server last saw the board's status change.",
                     [](const VenueBoard& b) { return b.secondsSinceChange; });
    metrics.perBoard("pelm_board_clock_synchronised",
                     "1 when the board's system clock is synchronised, 0 when not.",
                     [](const VenueBoard& b) -> std::optional<double> {
                         if (!b.status || !b.status->clockSynchronised) return std::nullopt;
                         return *b.status->clockSynchronised ? 1.0 : 0.0;
                     });
    metrics.perBoard("pelm_board_clock_offset_seconds",
                     "The board's clock minus this server's, as its status copies show.",
                     [](const VenueBoard& b) { return b.clockOffsetSeconds; });
    metrics.perBoard("pelm_board_data_read_seconds",
                     "How long the board's last read of its data folder took: a share getting "
                     "slow shows here before the board loses it.",
                     [](const VenueBoard& b) { return readSeconds(b, &BoardStatus::dataReadMs); });
    metrics.perBoard(
        "pelm_board_data_read_slowest_seconds",
        "The board's slowest read of its data folder in the last minute, a read "
        "still unanswered counted as far as it got.",
        [](const VenueBoard& b) { return readSeconds(b, &BoardStatus::dataReadSlowestMs); });
    metrics.family("pelm_venue_folder_answering",
                   "1 while the status folder answers this server's looks in time.");
    metrics.sample("pelm_venue_folder_answering", {}, view.answering);
    metrics.family("pelm_venue_folder_read_age_seconds",
                   "Seconds since this server last read the status folder whole.");
    if (view.secondsSinceRead)
        metrics.sample("pelm_venue_folder_read_age_seconds", {}, *view.secondsSinceRead);
    metrics.family("pelm_venue_boards_in_trouble", "Boards whose trouble is 1.");
    metrics.sample("pelm_venue_boards_in_trouble", {}, view.inTroubleCount());
    copyCounts(metrics, view.copies);
    metrics.family("pelm_venue_expected_boards_unusable",
                   "1 while expected-boards.txt is there but cannot be used whole: too long, "
                   "no regular file, unreadable, no UTF-8, of an untrusted owner, or too many "
                   "names.");
    metrics.sample("pelm_venue_expected_boards_unusable", {}, !view.expectedProblem.isEmpty());
    return metrics.text();
}

}  // namespace pelm::venue
