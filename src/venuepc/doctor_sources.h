#pragma once
// Everything `pelmctl doctor` asks of the PC, behind one interface, so a
// test can plant a fault in any one source (a unit disabled, a clock that
// is not synchronised, a share that does not answer, a board whose program
// an upgrade replaced) and see the check that reads it say so.

#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/clock_sync.h"
#include "platform/untrusted_folder.h"
#include "venuepc/local_board.h"
#include "venuepc/share_look.h"
#include "venuepc/user_manager.h"

namespace pelm::pc {

class DoctorSources {
public:
    virtual ~DoctorSources() = default;
    virtual UserManager& userManager() = 0;
    /// A variable of this process's environment.
    virtual std::optional<std::string> ownVariable(const std::string& name) = 0;
    /// Where the PC's own files (/etc, /proc/self/mountinfo) are read: "/".
    virtual std::filesystem::path root() = 0;
    virtual std::filesystem::path home() = 0;
    virtual std::string userName() = 0;
    virtual uid_t userId() = 0;
    /// The version of the installed package pelm; nothing when not installed.
    virtual std::optional<std::string> installedVersion() = 0;
    /// The board whose working folder is `folder` (canonical), when it
    /// left a status file.
    virtual std::optional<LocalBoard> board(const QString& folder) = 0;
    /// Whether the program process `pid` runs was deleted or replaced on
    /// disk since it started (an upgrade installs a new file by rename).
    virtual bool programReplaced(qint64 pid) = 0;
    /// Reads the schedule at a native path as the board does, timed.
    virtual FolderAnswer readSchedule(const std::string& nativePath) = 0;
    /// What stands at a path that may lie on a share; nothing when the
    /// share does not answer in time.
    virtual std::optional<PathFacts> look(const std::string& nativePath) = 0;
    virtual std::optional<ClockSync> clock() = 0;
    /// `xset q` on that display; nothing when it cannot be asked.
    virtual std::optional<std::string> xsetQuery(const std::string& display) = 0;
    /// Whether the desktop holds an inhibition of idleness (GNOME's
    /// session manager); nothing when it cannot say.
    virtual std::optional<bool> desktopInhibitsIdle() = 0;
    /// GNOME's idle delay in seconds (0: never); nothing when not GNOME.
    virtual std::optional<unsigned> desktopIdleDelay() = 0;
    /// Free bytes for the user on the folder's file system (a local one:
    /// the check asks no share); nothing when it cannot be read.
    virtual std::optional<std::uint64_t> freeBytes(const std::string& folder) = 0;
};

/// The PC itself.
std::unique_ptr<DoctorSources> pcSources();

}  // namespace pelm::pc
