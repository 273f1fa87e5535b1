#pragma once
// Which large logo the board shows at start, from the Logo setting.

#include <QImage>
#include <QString>

#include "platform/cp932.h"

namespace pelm {

enum class LogoKind {
    BuiltIn,  // "on"
    Picture,  // the setting names a picture file that reads
    Hidden,   // anything else: the large logo panel is hidden
};

struct LogoChoice {
    LogoKind kind;
    QImage picture;  // what to show; null when hidden
};

/// The large logo for a Logo setting. "on", exactly, picks
/// `builtIn`; a setting naming a readable picture picks that picture; any
/// other value, an unreadable picture included, hides the logo.
LogoChoice chooseLogo(const Cp932& setting, const QImage& builtIn);

/// The picture at a path, or a null image when it cannot be read (no
/// regular file, a read that stalls, or no picture in it).
QImage readLogoPicture(const QString& path);

/// The error for a picture chosen from the menu that cannot be read, in
/// CP932: "<path> は画像として読めません" (the error box adds the period).
Cp932 unreadablePictureMessage(const QString& path);

}  // namespace pelm
