#pragma once
// The board settings record and the settings file "PelmDp.ini" it is
// loaded from and saved to.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelm {

class IniFile;

/// The seven settings; texts are CP932 bytes. The comments name the keys and
/// their defaults; defaults() holds them all (a plain record has empty texts).
struct BoardSettings {
    std::string dataDir;   // Env/DataDir: "C:\Program Files\Norvek\Pelm"
    std::string logo;      // Env/Logo: "on"
    std::string setuzoku;  // Env/Setuzoku: "未接続"
    std::string taiki;     // Env/Taiki: "待機中"
    std::string font;      // Font/Font: "ＭＳ Ｐ明朝"
    int color = 15429970;  // Font/Color, 0x00BBGGRR
    int size = 100;        // Font/Size, points
    // Env/FullScreen: 0. Optional: a missing key is no defaulted one, and the
    // key is written back only into a file that has it.
    int fullScreen = 0;

    /// Anything but 0 scales the board to cover the screen.
    bool coversScreen() const { return fullScreen != 0; }

    /// The record as it stands with every key missing.
    static BoardSettings defaults();

    /// Only the exact text "on" shows the large logo panel.
    bool showsLogo() const { return logo == "on"; }
};

/// The settings file's path: the directory (a board path) + "\PelmDp.ini".
std::string settingsPath(std::string_view directory);

/// What a load found: the values, and the keys (such as "DataDir") that took
/// their default because the file, section or key is missing or unreadable.
struct LoadedSettings {
    BoardSettings settings;
    std::vector<std::string> defaulted;
};

/// Reads the seven values in order, each with its default; never fails.
LoadedSettings loadBoardSettings(const std::string& path);

/// The same from a file already loaded (for tools given a native path).
LoadedSettings readBoardSettings(const IniFile& file);

/// Writes the seven values (Env: DataDir, Logo, Setuzoku, Taiki; Font:
/// Font, Size, Color), keeping every other line of the file, and replaces the
/// file atomically. Throws pelm::Error "<path> に書き込めません" when it cannot;
/// the old file is then left as it was.
void saveBoardSettings(const std::string& path, const BoardSettings& settings);

/// The profile integer rule: leading spaces, optional sign, then 0x, 0X, x,
/// X or $ and at most 8 hexadecimal digits, or decimal digits; anything
/// else, an empty text or an overflow gives `fallback`.
int profileInt(std::string_view text, int fallback);

/// The same rule, with nothing where profileInt gives the fallback.
std::optional<int> readProfileInt(std::string_view text);

}  // namespace pelm
