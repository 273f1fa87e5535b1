#include "engine/board_settings.h"

#include <array>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

namespace pelm {
namespace {

// A key of the settings file and the member of the record it fills; exactly
// one of `text` and `number` is set.
struct Key {
    std::string_view section;
    std::string_view name;
    std::string BoardSettings::*text = nullptr;
    int BoardSettings::*number = nullptr;
};

constexpr Key kDataDir{"Env", "DataDir", &BoardSettings::dataDir};
constexpr Key kLogo{"Env", "Logo", &BoardSettings::logo};
constexpr Key kSetuzoku{"Env", "Setuzoku", &BoardSettings::setuzoku};
constexpr Key kTaiki{"Env", "Taiki", &BoardSettings::taiki};
constexpr Key kFont{"Font", "Font", &BoardSettings::font};
constexpr Key kColor{"Font", "Color", nullptr, &BoardSettings::color};
constexpr Key kSize{"Font", "Size", nullptr, &BoardSettings::size};

constexpr Key kFullScreen{"Env", "FullScreen", nullptr, &BoardSettings::fullScreen};

constexpr std::array kLoadOrder{kDataDir, kLogo, kSetuzoku, kTaiki, kFont, kColor, kSize};
constexpr std::array kSaveOrder{kDataDir, kLogo, kSetuzoku, kTaiki, kFont, kSize, kColor};

// False when the key is missing or its integer cannot be read.
bool readKey(const IniFile& file, const Key& key, BoardSettings& settings) {
    auto value = file.value(key.section, key.name);
    if (!value) return false;
    if (key.text) {
        settings.*key.text = *value;
        return true;
    }
    auto number = readProfileInt(*value);
    if (number) settings.*key.number = *number;
    return number.has_value();
}

std::string valueText(const Key& key, const BoardSettings& settings) {
    return key.text ? settings.*key.text : std::to_string(settings.*key.number);
}

[[noreturn]] void cannotWrite(const std::string& path) {
    throw Error(path + utf8ToCp932(" に書き込めません"));
}

}  // namespace

BoardSettings BoardSettings::defaults() {
    BoardSettings settings;
    settings.dataDir = "C:\\Program Files\\Norvek\\Pelm";
    settings.logo = "on";
    settings.setuzoku = utf8ToCp932("未接続");
    settings.taiki = utf8ToCp932("待機中");
    settings.font = utf8ToCp932("ＭＳ Ｐ明朝");
    return settings;
}

std::string settingsPath(std::string_view directory) {
    return std::string(directory) + "\\PelmDp.ini";
}

LoadedSettings readBoardSettings(const IniFile& file) {
    LoadedSettings loaded{BoardSettings::defaults(), {}};
    for (const Key& key : kLoadOrder) {
        if (!readKey(file, key, loaded.settings)) loaded.defaulted.emplace_back(key.name);
    }
    const bool present = file.value(kFullScreen.section, kFullScreen.name).has_value();
    if (present && !readKey(file, kFullScreen, loaded.settings)) {
        loaded.defaulted.emplace_back(kFullScreen.name);
    }
    return loaded;
}

LoadedSettings loadBoardSettings(const std::string& path) {
    return readBoardSettings(IniFile::load(nativePath(path)));
}

// The whole new file is written beside the old one and renamed over it, so a
// crash or a failed write never leaves a file with only some of the keys.
void saveBoardSettings(const std::string& path, const BoardSettings& settings) {
    std::string native = nativePath(path);
    auto file = IniFile::loadForUpdate(native);
    if (!file) cannotWrite(path);
    for (const Key& key : kSaveOrder)
        file->setValue(key.section, key.name, valueText(key, settings));
    if (file->value(kFullScreen.section, kFullScreen.name)) {
        file->setValue(kFullScreen.section, kFullScreen.name, valueText(kFullScreen, settings));
    }
    if (!file->saveAtomically(native)) cannotWrite(path);
}

}  // namespace pelm
