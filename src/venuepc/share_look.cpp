#include "venuepc/share_look.h"

#include <variant>

#include "platform/share_worker.h"

namespace pelm::pc {

FolderAnswer timedRead(const std::string& nativePath) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const FileBytes file =
        ShareWorker::forFile(nativePath).read({nativePath, 1, Links::NotFollowed});
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return {file.status != FileBytes::Status::Stalled, took, file.status};
}

std::optional<PathFacts> boundedLook(const std::string& nativePath) {
    auto answers =
        ShareWorker::forFile(nativePath).call({LookRequest{nativePath}}, ShareWorker::kDefaultWait);
    const PathFacts* facts = std::get_if<PathFacts>(&answers.front());
    return facts ? std::optional(*facts) : std::nullopt;
}

}  // namespace pelm::pc
