#pragma once
// The steps of `pelmctl setup`, taken in this order once it has found that
// each can work. Each prints what it did, one line a change, through
// report() (folder_preparation.h).

#include <optional>
#include <string>

#include "venuepc/login_way.h"
#include "venuepc/user_manager.h"

namespace pelmctl {

/// What the administrator told setup; nothing for what it was not told,
/// which stays as it is.
struct SetupRequest {
    std::string folder;                    // the board's folder, absolute
    std::optional<std::string> data;       // --data, absolute
    std::optional<std::string> name;       // --name
    std::optional<std::string> statusDir;  // --status-dir, absolute
    std::optional<bool> fullScreen;        // --fullscreen (true), --windowed (false)
    std::optional<int> screen;             // --screen N
};

/// Whether a step changed what the board reads only when it starts.
struct Changes {
    bool needRestart = false;
};

/// Makes the board's folder, prepares its data folder as `pelmctl init`
/// does and sets the settings it was told; the board's folder becomes the
/// current one (setup_settings.cpp).
void prepareFolder(const SetupRequest& request, Changes& changes);

/// Has the board start at every login the chosen way, and not the other
/// (setup_login.cpp).
void startAtLogin(const SetupRequest& request, pelm::pc::LoginWay way,
                  pelm::pc::UserManager& manager, Changes& changes);

/// Where an X server blanks the screen and no desktop service can be asked
/// not to, turns blanking off now and at every login (setup_login.cpp).
void keepScreenAwake(const std::optional<std::string>& x11Display);

/// Starts the board now, or again where a change needs it, and waits until
/// it says it is up; false when it did not within the wait (setup_start.cpp).
bool startNow(const SetupRequest& request, pelm::pc::LoginWay way, pelm::pc::UserManager& manager,
              const Changes& changes);

/// The user's ~/.config.
std::string configHome();

}  // namespace pelmctl
