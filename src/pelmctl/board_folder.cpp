#include "pelmctl/board_folder.h"

#include <QFileInfo>
#include <QLocale>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/time_of_day.h"

namespace pelmctl {

std::optional<pelm::BoardSettings> boardSettingsFor(const Arguments& arguments) {
    const pelm::Cp932 path = pelm::settingsPath(pelm::currentDirectory());
    const bool hasSettings = QFileInfo(QString::fromStdString(pelm::nativePath(path))).isFile();
    if (!hasSettings && !arguments.option("--data")) {
        usageError(
            "no PelmDp.ini here (the board reads it from its working folder); give --data DIR");
        return std::nullopt;
    }
    pelm::BoardSettings settings = pelm::loadBoardSettings(path).settings;
    if (auto data = arguments.option("--data")) settings.dataDir = pelm::utf8ToCp932(*data);
    return settings;
}

void useSystemLocale() {
    pelm::setCurrentLocaleTime(pelm::LocaleTime::fromLocale(QLocale::system()));
}

}  // namespace pelmctl
