// pelmctl venue-key: makes the venue key the boards sign their status
// copies with and the control room checks them by.

#include "engine/venue_key.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "pelmctl/command.h"
#include "platform/file_descriptor.h"

namespace pelmctl {
namespace {

constexpr std::string_view kHelp =
    R"(Usage: pelmctl venue-key FILE

Makes a new venue key in FILE: 64 hexadecimal digits from the system's
source of randomness. A status folder that cannot tell its writers apart
(an SMB share that maps every writer to one user) lets anyone write a copy
that claims any board; with the key, each board signs its copy, and the
control room shows a copy not signed with it as forged.

FILE is made readable and writable by you, readable by your group (0640),
and never replaces a file that is there. Put the same key on every board's
PC and the control room's, readable only by the users the boards and the
control room run as (a group of theirs), never in the shared folder; then
add VenueKey=FILE under [Env] of each board's PelmDp.ini (followed while the
board runs) and --venue-key FILE to `pelmctl serve` and `pelmctl status
--venue`.

Exit status: 0 the key is made; 1 FILE is there or cannot be made; 2 wrong
arguments.

Examples:
  pelmctl venue-key /etc/pelm/venue.key
)";

int run(const Arguments& arguments) {
    if (arguments.positional.size() != 1) return usageError("venue-key takes one FILE");
    const std::string& path = arguments.positional.front();
    const pelm::FileDescriptor file(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640));
    const QByteArray key = pelm::newVenueKeyText();
    const bool written = file.valid() &&
                         ::write(file.get(), key.constData(), key.size()) == key.size() &&
                         ::fsync(file.get()) == 0;
    if (!written) {
        std::cerr << "pelmctl: " << path << " cannot be made: " << std::strerror(errno) << "\n";
        if (file.valid()) ::unlink(path.c_str());
        return kExitFailed;
    }
    std::cout << "pelmctl: a new venue key in " << path
              << "; give it to every board (VenueKey=) and the control room (--venue-key)\n";
    return kExitOk;
}

const CommandRegistration registration(
    {"venue-key", "make the key the boards sign their status copies with", kHelp, {}, {}, run});

}  // namespace
}  // namespace pelmctl
