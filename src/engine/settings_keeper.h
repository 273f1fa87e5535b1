#pragma once
// The board's settings file over one run: the record the board works with,
// loaded at the first showing; the keys the operator changed through the
// board's menus since; and the save at close, which keeps what was deployed
// meanwhile.

#include <optional>
#include <set>

#include "engine/board_settings.h"
#include "platform/cp932.h"

namespace pelm {

class SettingsKeeper {
public:
    /// Loads the settings file at a board path into the record (never
    /// fails) and starts afresh: keys touched before count no more. Gives
    /// what the load found, its warnings included.
    const LoadedSettings& load(Cp932 path);

    /// The defaults until the load.
    BoardSettings& settings() { return settings_; }
    const BoardSettings& settings() const { return settings_; }

    /// Marks a key as changed by the operator, so the save writes it even
    /// over a change on disk.
    void touch(SettingKey key) { touched_.insert(key); }

    /// The save at close (see saveBoardSettings); nothing before a load,
    /// since nothing was read that a save could keep. Throws as
    /// saveBoardSettings.
    void save() const;

private:
    std::optional<Cp932> path_;
    LoadedSettings loaded_;
    BoardSettings settings_ = BoardSettings::defaults();
    std::set<SettingKey> touched_;
};

}  // namespace pelm
