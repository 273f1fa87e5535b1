#pragma once
// A small picture of what the board shows, for the venue's control room:
// the window as drawn (with an error box, when one is open, over it), at a
// card's width, as PNG. Taken on the window's thread when what is on
// screen changed, otherwise at most once a minute; the clock's seconds
// alone are no change.

#include <QByteArray>
#include <optional>

class QWidget;

namespace pelm {

class ScreenPicture {
public:
    static constexpr int kWidth = 480;
    static constexpr qint64 kLookEveryMs = 1000;
    static constexpr qint64 kMaxAgeMs = 60 * 1000;

    /// Whether to look at what is on screen now: once a second, so the
    /// refreshes between cost nothing.
    bool lookNow(qint64 nowMs);
    /// Whether a new picture is due: `screen` (all that is shown but the
    /// clock) differs from the last picture's, or that is a minute old.
    bool due(const QByteArray& screen, qint64 nowMs) const;
    /// A picture was taken of `screen` at `nowMs`.
    void taken(const QByteArray& screen, qint64 nowMs);

    /// `window` as drawn, `box` over it (centred) when given, kWidth pixels
    /// wide, as PNG.
    static QByteArray take(QWidget& window, QWidget* box);

private:
    std::optional<QByteArray> screen_;
    qint64 takenMs_ = 0;
    std::optional<qint64> lookedMs_;
};

}  // namespace pelm
