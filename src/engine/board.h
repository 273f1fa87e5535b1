#pragma once
// What a refresh writes to: the board's elements, named by the window
// components that show them. The window implements it with widgets; tests
// and `pelmctl show` with a recording.

#include <memory>
#include <string>

#include "platform/cp932.h"
#include "sqlengine/result_set.h"

namespace pelm {

class Board {
public:
    virtual ~Board() = default;

    virtual void setClockText(const Cp932& text) = 0;                 // Labtime
    virtual void setPreviousRace(const Cp932& title) = 0;             // Ed1
    virtual void setCurtainVisible(bool visible) = 0;                 // Panel6
    virtual void showUpcoming(std::shared_ptr<const ResultSet>) = 0;  // DBGrid1 via DSmenu
    virtual void setNoticeText(const Cp932& text) = 0;                // DBMemo1
    virtual void setNoticeShown(bool shown) = 0;                      // the notice-shown flag
    virtual bool noticeShown() const = 0;
    virtual int windowHeight() const = 0;         // Form1's outer height
    virtual void setUpperHeight(int height) = 0;  // Panel10
    /// The start-up step succeeded: the window applies its logo switch and
    /// the clock's font now, as at a first showing.
    virtual void startShowing() {}
};

/// The upper area's height for a window: outer height − 230 with a notice,
/// − 34 without.
constexpr int upperHeight(int windowHeight, bool noticeShown) {
    return windowHeight - (noticeShown ? 230 : 34);
}

/// A board that remembers what it was last told; every element starts as
/// the window's design state.
class RecordingBoard : public Board {
public:
    Cp932 clockText = cp932Ascii("10:15:25");
    Cp932 previousRace;
    bool curtainVisible = false;
    std::shared_ptr<const ResultSet> upcoming;
    Cp932 notice;
    bool noticeVisible = false;
    int outerHeight = 710;
    int upperAreaHeight = 676;

    void setClockText(const Cp932& text) override { clockText = text; }
    void setPreviousRace(const Cp932& title) override { previousRace = title; }
    void setCurtainVisible(bool visible) override { curtainVisible = visible; }
    void showUpcoming(std::shared_ptr<const ResultSet> rows) override {
        upcoming = std::move(rows);
    }
    void setNoticeText(const Cp932& text) override { notice = text; }
    void setNoticeShown(bool shown) override { noticeVisible = shown; }
    bool noticeShown() const override { return noticeVisible; }
    int windowHeight() const override { return outerHeight; }
    void setUpperHeight(int height) override { upperAreaHeight = height; }
};

}  // namespace pelm
