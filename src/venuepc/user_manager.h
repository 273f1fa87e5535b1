#pragma once
// The user's own service manager, as `systemctl --user` speaks to it: the
// one that runs pelmdp.service and knows whether the desktop session has
// reached graphical-session.target.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelm::pc {

inline constexpr char kBoardUnit[] = "pelmdp.service";
inline constexpr char kSessionTarget[] = "graphical-session.target";

using Environment = std::map<std::string, std::string, std::less<>>;

class UserManager {
public:
    virtual ~UserManager() = default;
    /// `is-enabled`'s word for a unit ("enabled", "disabled", "not-found",
    /// …); empty when the manager does not answer.
    virtual std::string unitFileState(const std::string& unit) = 0;
    /// `is-active`'s word ("active", "inactive", "failed", …); empty when
    /// the manager does not answer.
    virtual std::string activeState(const std::string& unit) = 0;
    /// The environment the manager hands its services; nothing when it
    /// does not answer.
    virtual std::optional<Environment> environment() = 0;
    /// One property of a unit as `show -P` prints it; empty when unset.
    virtual std::string property(const std::string& unit, const std::string& name) = 0;
    /// Runs `systemctl --user WORDS…`: nothing when it succeeded, else
    /// what it said went wrong.
    virtual std::optional<std::string> run(const std::vector<std::string>& words) = 0;
};

/// The manager reached through `systemctl --user`.
std::unique_ptr<UserManager> systemctlUserManager();

/// Whether a manager that answered says the unit is installed.
bool unitInstalled(UserManager& manager, const std::string& unit);

/// The variables a unit gets from `Environment=` lines, read from the
/// `show -P Environment` form (words split at blanks; a word may be quoted).
Environment unitEnvironment(const std::string& shown);

}  // namespace pelm::pc
