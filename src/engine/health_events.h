#pragma once
// Everything the runner reports goes to the board's health first (the
// journal and the status files), then on to whoever shows it on screen.

#include "engine/board_health.h"
#include "engine/board_runner.h"

namespace pelm {

class HealthEvents : public RunnerEvents {
public:
    /// Both must outlive this object.
    HealthEvents(BoardHealth& health, RunnerEvents& screen);

    void startFailed(const Cp932& message, bool connection) override;
    void started() override;
    void tableReplaced(const Cp932& damage, const std::string& aside) override;
    void tableMadeAfresh(const std::string& path) override;
    void tableMovedOff(const RaceTablePlace& place) override;
    void connectionLost(const Cp932& message) override;
    void refreshFailed(const Cp932& message) override;
    void refreshed(const RefreshCycle& cycle, BoardState state,
                   const std::optional<Cp932>& problem) override;

private:
    BoardHealth& health_;
    RunnerEvents& screen_;
};

}  // namespace pelm
