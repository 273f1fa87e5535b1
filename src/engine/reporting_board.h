#pragma once
// The board as the runner writes to it, telling the board's health what
// goes on screen as it goes there. The status then lists the rows the
// screen shows, also when a refresh stops half way: a race table that
// cannot be written after the new rows went up (a full disk, a lock) leaves
// them on screen, and in the status alike.

#include "engine/board.h"
#include "engine/board_health.h"

namespace pelm {

class ReportingBoard : public Board {
public:
    /// Both must outlive this object.
    ReportingBoard(Board& screen, BoardHealth& health) : screen_(screen), health_(health) {}

    void setClockText(const Cp932& text) override { screen_.setClockText(text); }
    void setPreviousRace(const Cp932& title) override;
    void setCurtainVisible(bool visible) override { screen_.setCurtainVisible(visible); }
    void showUpcoming(std::shared_ptr<const ResultSet> rows) override;
    void setNoticeText(const Cp932& text) override { screen_.setNoticeText(text); }
    void setNoticeShown(bool shown) override { screen_.setNoticeShown(shown); }
    bool noticeShown() const override { return screen_.noticeShown(); }
    int windowHeight() const override { return screen_.windowHeight(); }
    void setUpperHeight(int height) override { screen_.setUpperHeight(height); }
    void startShowing() override { screen_.startShowing(); }

private:
    Board& screen_;
    BoardHealth& health_;
};

}  // namespace pelm
