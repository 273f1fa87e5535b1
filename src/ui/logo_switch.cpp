#include "ui/logo_switch.h"

#include <QImageReader>

#include "platform/paths.h"

namespace pelm {

LogoChoice chooseLogo(std::string_view setting, const QImage& builtIn) {
    if (setting == "on") return {LogoKind::BuiltIn, builtIn};
    if (setting.empty()) return {LogoKind::Hidden, {}};
    QImage picture = readLogoPicture(QString::fromStdString(nativePath(setting)));
    if (picture.isNull()) return {LogoKind::Hidden, {}};
    return {LogoKind::Picture, picture};
}

QImage readLogoPicture(const QString& path) {
    // The file's content decides, so a JPEG saved as .bmp still shows.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

}  // namespace pelm
