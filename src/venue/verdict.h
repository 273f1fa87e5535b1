#pragma once
// What a reader makes of a board, in one word wherever it is said: the
// status command, the control room's JSON, page and metrics, the README.

#include <QString>
#include <array>
#include <optional>

namespace pelm::venue {

/// In order of severity, the worst first.
enum class Verdict {
    Forged,        // a copy that claims a board but is not its own: never shown as the board
    Error,         // the board shows an error
    NotConnected,  // it runs but cannot read the schedule
    Starting,      // its start-up step has not got through yet
    NotAnswering,  // its status has not changed for too long: hung, or gone without a word
    Stopped,       // it closed
    Missing,       // listed among the venue's boards, but no status copy
    Checking,      // seen, but not yet seen to change: not known to run
    Waiting,       // runs, with an empty schedule
    Fine,          // runs, showing races
};

inline constexpr std::array kVerdicts{
    Verdict::Forged,       Verdict::Error,   Verdict::NotConnected, Verdict::Starting,
    Verdict::NotAnswering, Verdict::Stopped, Verdict::Missing,      Verdict::Checking,
    Verdict::Waiting,      Verdict::Fine};

/// "forged", "error", "not connected", "starting", "not answering", "stopped",
/// "missing", "checking", "waiting", "fine".
QString verdictWord(Verdict verdict);
std::optional<Verdict> verdictNamed(const QString& word);

/// 0 for the worst; boards are listed by it.
inline int severity(Verdict verdict) {
    return static_cast<int>(verdict);
}

/// Whether the board needs somebody: anything worse than "checking".
inline bool inTrouble(Verdict verdict) {
    return severity(verdict) < severity(Verdict::Checking);
}

}  // namespace pelm::venue
