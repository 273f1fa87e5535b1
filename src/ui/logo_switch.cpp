#include "ui/logo_switch.h"

#include <QByteArray>

#include "engine/board_rules.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace pelm {
namespace {

// Far beyond a logo for a 220 x 106 panel (a full-HD 32-bit BMP is 8 MB); a
// file larger than this is refused rather than read into memory.
constexpr std::size_t kLogoPictureLimit = std::size_t{32} << 20;

}  // namespace

LogoChoice chooseLogo(const Cp932& setting, const QImage& builtIn) {
    const LogoRequest request = logoRequest(setting);
    if (request.kind == LogoRequest::BuiltIn) return {LogoKind::BuiltIn, builtIn};
    if (request.kind == LogoRequest::Hidden) return {LogoKind::Hidden, {}};
    QImage picture = readLogoPicture(request.picturePath);
    if (picture.isNull()) return {LogoKind::Hidden, {}};
    return {LogoKind::Picture, picture};
}

QImage readLogoPicture(const QString& path) {
    // Read through its folder's worker, so a FIFO or a stalled share in the
    // picture's place cannot hang the board; the content decides the format,
    // so a JPEG saved as .bmp still shows.
    const FileBytes file = readCompleteFile(path.toStdString(), kLogoPictureLimit);
    if (!file.read()) return {};
    return QImage::fromData(
        QByteArray::fromRawData(file.bytes.data(), static_cast<qsizetype>(file.bytes.size())));
}

Cp932 unreadablePictureMessage(const QString& path) {
    return toCp932(path + QStringLiteral(" は画像として読めません"));
}

}  // namespace pelm
