#include "engine/health_events.h"

#include "platform/codepage.h"
#include "platform/journal.h"
#include "platform/paths.h"

namespace pelm {

HealthEvents::HealthEvents(BoardHealth& health, RunnerEvents& screen)
    : health_(health), screen_(screen) {}

void HealthEvents::startFailed(const Cp932& message, bool connection) {
    health_.failed(message);
    screen_.startFailed(message, connection);
}

void HealthEvents::started() {
    health_.cleared();
    screen_.started();
}

void HealthEvents::tableReplaced(const Cp932& damage, const std::string& aside) {
    qCWarning(lcBoard).noquote() << QStringLiteral(
                                        "race table file damaged (%1): moved to %2, made afresh")
                                        .arg(fromCp932(damage), QString::fromStdString(aside));
    screen_.tableReplaced(damage, aside);
}

void HealthEvents::tableMadeAfresh(const std::string& path) {
    qCWarning(lcBoard).noquote() << "race table file " + QString::fromStdString(path) +
                                        " went away under the board: made afresh";
    screen_.tableMadeAfresh(path);
}

void HealthEvents::tableMovedOff(const RaceTablePlace& place) {
    qCWarning(lcBoard).noquote()
        << QStringLiteral(
               "race table kept in %1 instead: %2 (pelmctl init, run again in the "
               "board's folder, puts it there for good)")
               .arg(QString::fromStdString(nativePath(place.folder)),
                    QString::fromStdString(place.instead.value_or("")));
    screen_.tableMovedOff(place);
}

void HealthEvents::connectionLost(const Cp932& message) {
    qCWarning(lcBoard).noquote() << "race table file broke under the board, starting again: " +
                                        fromCp932(message);
    screen_.connectionLost(message);
}

void HealthEvents::refreshFailed(const Cp932& message) {
    health_.failed(message);
    screen_.refreshFailed(message);
}

void HealthEvents::refreshed(const RefreshCycle& cycle, BoardState state,
                             const std::optional<Cp932>& problem) {
    health_.refreshed(state, problem);
    screen_.refreshed(cycle, state, problem);
}

}  // namespace pelm
