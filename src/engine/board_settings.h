#pragma once
// The board settings record and the settings file "PelmDp.ini" it is
// loaded from and saved to.

#include <array>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"

namespace pelm {

class IniFile;

/// The board's settings, texts in CP932: the seven keys every settings file
/// has, and the optional keys a venue adds (FullScreen, TableDir,
/// StatusDir, Name, VenueKey). The comments name the keys and their defaults; defaults()
/// holds them all (a plain record has empty texts).
struct BoardSettings {
    Cp932 dataDir;         // Env/DataDir: "C:\Program Files\Norvek\Pelm"
    Cp932 logo;            // Env/Logo: "on"
    Cp932 setuzoku;        // Env/Setuzoku: "未接続"
    Cp932 taiki;           // Env/Taiki: "待機中"
    Cp932 font;            // Font/Font: "ＭＳ Ｐ明朝"
    int color = 15429970;  // Font/Color, 0x00BBGGRR
    int size = 100;        // Font/Size, points
    // Env/FullScreen: 0. Optional: a missing key is no defaulted one, and the
    // key is written back only into a file that has it.
    int fullScreen = 0;
    // Env/TableDir: optional, as FullScreen. The folder of the race table
    // file when it must not live beside the schedule (a shared data folder).
    Cp932 tableDir;
    // Env/StatusDir: optional, as FullScreen. Where the board also leaves its
    // status file for the whole venue to see; empty: nowhere.
    Cp932 statusDir;
    // Env/Name: optional, as FullScreen. What the venue calls this screen
    // ("パドック"), shown in the control room; empty: the host's name.
    Cp932 name;
    // Env/VenueKey: optional, as FullScreen. The file of the venue key the
    // status copy is signed with; empty: unsigned.
    Cp932 venueKey;

    /// The folder (a board path) the connection's PATH names: TableDir when
    /// set, else the data folder.
    const Cp932& raceTableFolder() const { return tableDir.empty() ? dataDir : tableDir; }

    /// Anything but 0 scales the board to cover the screen.
    bool coversScreen() const { return fullScreen != 0; }

    /// The record as it stands with every key missing.
    static BoardSettings defaults();
};

/// The clock sizes the board can show, in points. The clock has the upper
/// area above the races to itself, about 150 pixels on the 96-dpi screen the
/// layout was made for: at 115 points (153 pixels) the design's face still
/// shows its digits whole; beyond, the races' panel covers the digits from
/// below, and from about 400 points nothing of them shows at all.
constexpr int kMinClockPoints = 1;
constexpr int kMaxClockPoints = 115;

/// A clock size brought into kMinClockPoints..kMaxClockPoints.
int clockPointsInRange(int points);

/// The settings file's path: the directory (a board path) + "\PelmDp.ini".
Cp932 settingsPath(const Cp932& directory);

/// Where a setting lives in the settings file, for tools that write one.
struct SettingPlace {
    std::string_view section;
    std::string_view name;
};
inline constexpr SettingPlace kDataDirPlace{"Env", "DataDir"};
inline constexpr SettingPlace kTableDirPlace{"Env", "TableDir"};

/// One setting as tools show it: its key and its value, as text or, for
/// Color and Size, as a number.
struct SettingField {
    std::string_view name;
    Cp932 text;
    std::optional<int> number;
};

/// The seven keys in the order a load reads them, then the optional texts
/// (TableDir, StatusDir, Name, VenueKey) where a venue set them.
std::vector<SettingField> settingFields(const BoardSettings& settings);

/// The seven keys, in the order a save writes them.
enum class SettingKey { DataDir, Logo, Setuzoku, Taiki, Font, Size, Color };
constexpr std::array kSettingKeys{SettingKey::DataDir, SettingKey::Logo, SettingKey::Setuzoku,
                                  SettingKey::Taiki,   SettingKey::Font, SettingKey::Size,
                                  SettingKey::Color};

/// The texts of the seven keys as a load found them in the file (after the
/// profile rules: blanks and quotes around the value dropped), nothing for a
/// missing key, indexed by SettingKey.
struct SettingsSnapshot {
    std::array<std::optional<Cp932>, kSettingKeys.size()> texts;

    const std::optional<Cp932>& text(SettingKey key) const {
        return texts[static_cast<std::size_t>(key)];
    }
    /// True when the file held none of the seven keys (missing, unreadable or
    /// about something else).
    bool holdsNone() const;
};

/// What a load found: the values, the keys (such as "DataDir") that took
/// their default because the file, section or key is missing or unreadable,
/// warnings (UTF-8) about values brought into range, and the texts read.
struct LoadedSettings {
    BoardSettings settings;
    std::vector<std::string> defaulted;
    std::vector<std::string> warnings;
    SettingsSnapshot snapshot;
};

/// Reads the seven values in order, each with its default; never fails.
LoadedSettings loadBoardSettings(const Cp932& path);

/// The same from a file already loaded (for tools given a native path).
LoadedSettings readBoardSettings(const IniFile& file);

/// Writes the seven values (Env: DataDir, Logo, Setuzoku, Taiki; Font:
/// Font, Size, Color), keeping every other line of the file, and replaces the
/// file atomically. Throws pelm::Error "<path> に書き込めません" when it cannot;
/// the old file is then left as it was.
void saveBoardSettings(const Cp932& path, const BoardSettings& settings);

/// The save at close, which keeps what was deployed while the board ran.
/// Each key takes, in this order of precedence:
///  - the value in `settings`, when the operator changed it through the
///    board's own menus (`changedByOperator`), or when the file now holds
///    none of the seven keys (missing at close: written whole, as ever);
///  - nothing new, when the board read none of the keys at start and the file
///    now holds some: a file deployed during the run is kept whole;
///  - the file's value, when the file now holds a text for it that differs
///    from `readAtStart` (a key removed from the file stays removed);
///  - else the value in `settings`.
/// Every other line is kept; the file is replaced atomically and only when
/// its text changes. Throws as the plain save.
void saveBoardSettings(const Cp932& path, const BoardSettings& settings,
                       const SettingsSnapshot& readAtStart,
                       const std::set<SettingKey>& changedByOperator);

/// The profile integer rule: leading spaces, optional sign, then 0x, 0X, x,
/// X or $ and at most 8 hexadecimal digits, or decimal digits; anything
/// else, an empty text or an overflow gives `fallback`.
int profileInt(std::string_view text, int fallback);

/// The same rule, with nothing where profileInt gives the fallback.
std::optional<int> readProfileInt(std::string_view text);

}  // namespace pelm
