#pragma once
// The board's state as operators see it in the journal and in `pelmctl
// status`, and the journal lines for its changes.

#include <QString>
#include <optional>

namespace pelm {

enum class BoardState {
    Starting,      // start-up step not yet through (retried every second)
    NotConnected,  // refreshing, but the schedule cannot be read
    Waiting,       // refreshing, the schedule is empty
    Running,       // refreshing, races shown
    Stopped,       // the board has closed
};

/// "starting", "not connected", "waiting", "running", "stopped": the words
/// of the status file and `pelmctl status`.
QString stateName(BoardState state);
/// The inverse of stateName; nullopt for any other text.
std::optional<BoardState> stateNamed(const QString& name);

/// Logs one journal line per change of state, none while it stays.
class BoardStateJournal {
public:
    /// The board is now in `state`; returns true when that is a change.
    bool enter(BoardState state);
    std::optional<BoardState> current() const { return current_; }

private:
    std::optional<BoardState> current_;
    bool connected_ = false;  // a refresh has run since start-up
};

}  // namespace pelm
