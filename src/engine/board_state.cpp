#include "engine/board_state.h"

#include <array>

#include "platform/journal.h"

namespace pelm {
namespace {

constexpr std::array kNames = {"starting", "not connected", "waiting", "running", "stopped"};

bool isRefreshing(BoardState state) {
    return state == BoardState::NotConnected || state == BoardState::Waiting ||
           state == BoardState::Running;
}

QString describe(BoardState state) {
    switch (state) {
        case BoardState::Starting:
            return QStringLiteral("starting");
        case BoardState::NotConnected:
            return QStringLiteral("not connected: the schedule cannot be read");
        case BoardState::Waiting:
            return QStringLiteral("waiting: the schedule is empty");
        case BoardState::Running:
            return QStringLiteral("running");
        case BoardState::Stopped:
            return QStringLiteral("stopped");
    }
    return {};
}

}  // namespace

QString stateName(BoardState state) {
    return QString::fromLatin1(kNames[static_cast<size_t>(state)]);
}

std::optional<BoardState> stateNamed(const QString& name) {
    for (size_t index = 0; index < kNames.size(); ++index) {
        if (name == QLatin1String(kNames[index])) return static_cast<BoardState>(index);
    }
    return std::nullopt;
}

bool BoardStateJournal::enter(BoardState state) {
    if (current_ == state) return false;
    const bool firstConnection = isRefreshing(state) && !connected_;
    if (isRefreshing(state)) connected_ = true;
    if (state == BoardState::Starting) connected_ = false;
    current_ = state;
    const QString line =
        (firstConnection ? QStringLiteral("connected, ") : QString()) + describe(state);
    if (state == BoardState::NotConnected) {
        qCWarning(lcBoard).noquote() << line;
    } else {
        qCInfo(lcBoard).noquote() << line;
    }
    return true;
}

}  // namespace pelm
