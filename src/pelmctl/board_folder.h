#pragma once
// What `show` and `check` share: finding the data folder and the settings
// as the board would.

#include <optional>
#include <string>

#include "engine/board_settings.h"
#include "pelmctl/command.h"

namespace pelmctl {

/// The board settings of ./PelmDp.ini, with the data folder replaced by
/// `--data DIR` when given. Without --data and without ./PelmDp.ini there is
/// no board folder to work on: says so and returns nullopt (kExitUsage).
std::optional<pelm::BoardSettings> boardSettingsFor(const Arguments& arguments);

/// Sets the process's time format from the system locale, as the board does.
void useSystemLocale();

}  // namespace pelmctl
