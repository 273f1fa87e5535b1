#include "engine/board_settings.h"

#include <algorithm>
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
    SettingKey id;
    std::string_view section;
    std::string_view name;
    Cp932 BoardSettings::*text = nullptr;
    int BoardSettings::*number = nullptr;
};

constexpr Key kDataDir{SettingKey::DataDir, kDataDirPlace.section, kDataDirPlace.name,
                       &BoardSettings::dataDir};
constexpr Key kLogo{SettingKey::Logo, "Env", "Logo", &BoardSettings::logo};
constexpr Key kSetuzoku{SettingKey::Setuzoku, "Env", "Setuzoku", &BoardSettings::setuzoku};
constexpr Key kTaiki{SettingKey::Taiki, "Env", "Taiki", &BoardSettings::taiki};
constexpr Key kFont{SettingKey::Font, "Font", "Font", &BoardSettings::font};
constexpr Key kColor{SettingKey::Color, "Font", "Color", nullptr, &BoardSettings::color};
constexpr Key kSize{SettingKey::Size, "Font", "Size", nullptr, &BoardSettings::size};

// Keys a venue adds when it needs them. The board never changes them, so
// the save leaves them as the file has them: a file without them keeps
// exactly the seven keys above.
struct OptionalKey {
    std::string_view section;
    std::string_view name;
    Cp932 BoardSettings::*text = nullptr;
    int BoardSettings::*number = nullptr;
};

constexpr std::array kOptionalKeys{
    OptionalKey{"Env", "FullScreen", nullptr, &BoardSettings::fullScreen},
    OptionalKey{kTableDirPlace.section, kTableDirPlace.name, &BoardSettings::tableDir},
    OptionalKey{"Env", "StatusDir", &BoardSettings::statusDir},
    OptionalKey{"Env", "Name", &BoardSettings::name},
    OptionalKey{"Env", "VenueKey", &BoardSettings::venueKey},
};

constexpr std::array kLoadOrder{kDataDir, kLogo, kSetuzoku, kTaiki, kFont, kColor, kSize};
constexpr std::array kSaveOrder{kDataDir, kLogo, kSetuzoku, kTaiki, kFont, kSize, kColor};

std::size_t indexOf(SettingKey id) {
    return static_cast<std::size_t>(id);
}

// False when the key is missing or its integer cannot be read. `KeyOf` is
// Key or OptionalKey: what matters is the member it fills.
template <class KeyOf>
bool readKey(const std::optional<Cp932>& value, const KeyOf& key, BoardSettings& settings) {
    if (!value) return false;
    if (key.text) {
        settings.*key.text = *value;
        return true;
    }
    auto number = readProfileInt(value->view());
    if (number) settings.*key.number = *number;
    return number.has_value();
}

// A size no screen can show would make the clock vanish or its font code
// work with absurd numbers; it is brought into range, with a warning.
void keepSizeInRange(LoadedSettings& loaded) {
    const int size = loaded.settings.size;
    if (size == clockPointsInRange(size)) return;
    loaded.settings.size = clockPointsInRange(size);
    loaded.warnings.push_back("Font/Size " + std::to_string(size) + " is outside " +
                              std::to_string(kMinClockPoints) + ".." +
                              std::to_string(kMaxClockPoints) + " points; using " +
                              std::to_string(loaded.settings.size));
}

template <class KeyOf>
Cp932 valueText(const KeyOf& key, const BoardSettings& settings) {
    return key.text ? settings.*key.text : utf8ToCp932(std::to_string(settings.*key.number));
}

// A number the file holds but nobody can read (a typo, more digits than an
// int) would otherwise quietly become the default.
template <class KeyOf>
void warnNoNumber(const KeyOf& key, const Cp932& value, LoadedSettings& loaded) {
    loaded.warnings.push_back(std::string(key.section) + "/" + std::string(key.name) + " '" +
                              cp932ToUtf8(value) + "' is no number; using " +
                              cp932ToUtf8(valueText(key, loaded.settings)));
}

[[noreturn]] void cannotWrite(const Cp932& path) {
    throw Error(path + utf8ToCp932(" に書き込めません"));
}

// Whether the save at close writes the board's value of `key` into the file
// as it is on disk now (`onDisk`); see saveBoardSettings.
bool writesBoardValue(const Key& key, const SettingsSnapshot& onDisk,
                      const SettingsSnapshot& readAtStart, const std::set<SettingKey>& touched) {
    if (touched.contains(key.id) || onDisk.holdsNone()) return true;
    if (readAtStart.holdsNone()) return false;
    return onDisk.text(key.id) == readAtStart.text(key.id);
}

// A missing optional key is no defaulted one; an unreadable one is.
void readOptionalKeys(const IniFile& file, LoadedSettings& loaded) {
    for (const OptionalKey& key : kOptionalKeys) {
        const std::optional<Cp932> value = file.value(key.section, key.name);
        if (!value) continue;
        if (readKey(value, key, loaded.settings)) continue;
        loaded.defaulted.emplace_back(key.name);
        warnNoNumber(key, *value, loaded);
    }
}

SettingsSnapshot snapshotOf(const IniFile& file) {
    SettingsSnapshot snapshot;
    for (const Key& key : kLoadOrder)
        snapshot.texts[indexOf(key.id)] = file.value(key.section, key.name);
    return snapshot;
}

}  // namespace

std::vector<SettingField> settingFields(const BoardSettings& settings) {
    std::vector<SettingField> fields;
    for (const Key& key : kLoadOrder) {
        if (key.text)
            fields.push_back({key.name, settings.*key.text, std::nullopt});
        else
            fields.push_back({key.name, Cp932(), settings.*key.number});
    }
    for (const OptionalKey& key : kOptionalKeys) {
        if (key.text && !(settings.*key.text).empty())
            fields.push_back({key.name, settings.*key.text, std::nullopt});
    }
    return fields;
}

BoardSettings BoardSettings::defaults() {
    BoardSettings settings;
    settings.dataDir = cp932Ascii("C:\\Program Files\\Norvek\\Pelm");
    settings.logo = cp932Ascii("on");
    settings.setuzoku = utf8ToCp932("未接続");
    settings.taiki = utf8ToCp932("待機中");
    settings.font = utf8ToCp932("ＭＳ Ｐ明朝");
    return settings;
}

int clockPointsInRange(int points) {
    return std::clamp(points, kMinClockPoints, kMaxClockPoints);
}

bool SettingsSnapshot::holdsNone() const {
    return std::none_of(texts.begin(), texts.end(),
                        [](const auto& text) { return text.has_value(); });
}

Cp932 settingsPath(const Cp932& directory) {
    return directory + cp932Ascii("\\PelmDp.ini");
}

LoadedSettings readBoardSettings(const IniFile& file) {
    LoadedSettings loaded{BoardSettings::defaults(), {}, {}, snapshotOf(file)};
    for (const Key& key : kLoadOrder) {
        const std::optional<Cp932>& value = loaded.snapshot.text(key.id);
        if (readKey(value, key, loaded.settings)) continue;
        loaded.defaulted.emplace_back(key.name);
        if (value) warnNoNumber(key, *value, loaded);
    }
    keepSizeInRange(loaded);
    readOptionalKeys(file, loaded);
    return loaded;
}

LoadedSettings loadBoardSettings(const Cp932& path) {
    return readBoardSettings(IniFile::load(nativePath(path)));
}

// The whole new file is written beside the old one and renamed over it, so a
// crash or a failed write never leaves a file with only some of the keys.
void saveBoardSettings(const Cp932& path, const BoardSettings& settings) {
    std::string native = nativePath(path);
    auto file = IniFile::loadForUpdate(native);
    if (!file) cannotWrite(path);
    for (const Key& key : kSaveOrder)
        file->setValue(key.section, key.name, valueText(key, settings));
    for (const OptionalKey& key : kOptionalKeys) {
        if (file->value(key.section, key.name))
            file->setValue(key.section, key.name, valueText(key, settings));
    }
    if (!file->saveAtomically(native)) cannotWrite(path);
}

void saveBoardSettings(const Cp932& path, const BoardSettings& settings,
                       const SettingsSnapshot& readAtStart,
                       const std::set<SettingKey>& changedByOperator) {
    const std::string native = nativePath(path);
    auto file = IniFile::loadForUpdate(native);
    if (!file) cannotWrite(path);
    const std::string before = file->text();
    const SettingsSnapshot onDisk = snapshotOf(*file);
    for (const Key& key : kSaveOrder) {
        if (writesBoardValue(key, onDisk, readAtStart, changedByOperator))
            file->setValue(key.section, key.name, valueText(key, settings));
    }
    if (file->text() == before) return;
    if (!file->saveAtomically(native)) cannotWrite(path);
}

}  // namespace pelm
