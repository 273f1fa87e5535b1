#pragma once
// How the calls of one exchange and their answers travel between the board
// and a folder's helper: one frame each way over a stream socket, a length
// and then the values in order. Both ends are built from the same sources
// for the same machine, so the values go in its own byte order; a helper
// of another build (a package upgraded under a running board) says another
// version when it starts and is refused. A frame that does not read back
// whole is refused, never half believed.

#include <optional>
#include <vector>

#include "platform/share_calls.h"

namespace pelm {

/// Changes whenever a value below is told differently.
constexpr unsigned kShareWireVersion = 2;

/// False when the other end has gone (or the socket failed).
bool sendCalls(int socket, const std::vector<ShareCall>& calls);
bool sendAnswers(int socket, const std::vector<ShareAnswer>& answers);

/// Waits for the other end's next frame; nothing when it has gone or the
/// frame is no frame of calls (of answers).
std::optional<std::vector<ShareCall>> receiveCalls(int socket);
std::optional<std::vector<ShareAnswer>> receiveAnswers(int socket);

}  // namespace pelm
