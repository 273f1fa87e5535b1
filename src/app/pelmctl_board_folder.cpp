#include "app/pelmctl_board_folder.h"

#include <QLocale>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/time_of_day.h"

namespace pelmctl {

pelm::BoardSettings boardSettingsFor(const Arguments& arguments) {
    pelm::BoardSettings settings =
        pelm::loadBoardSettings(pelm::settingsPath(pelm::currentDirectory())).settings;
    if (auto data = arguments.option("--data")) settings.dataDir = pelm::utf8ToCp932(*data);
    return settings;
}

void useSystemLocale() { pelm::setCurrentLocaleTime(pelm::LocaleTime::fromLocale(QLocale::system())); }

}  // namespace pelmctl
