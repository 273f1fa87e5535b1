#include "engine/settings_keeper.h"

#include <utility>

namespace pelm {

const LoadedSettings& SettingsKeeper::load(Cp932 path) {
    loaded_ = loadBoardSettings(path);
    path_ = std::move(path);
    settings_ = loaded_.settings;
    touched_.clear();
    return loaded_;
}

void SettingsKeeper::save() const {
    if (!path_) return;
    saveBoardSettings(*path_, settings_, loaded_.snapshot, touched_);
}

}  // namespace pelm
