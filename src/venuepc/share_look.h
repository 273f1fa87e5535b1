#pragma once
// The folder worker (platform/share_worker.h) as setup and doctor use it:
// a read timed as the board's own, and a look at a name, each bounded by
// the worker's deadline, so a share that stopped answering costs a second.

#include <chrono>
#include <optional>
#include <string>

#include "platform/file_reader.h"
#include "platform/untrusted_folder.h"

namespace pelm::pc {

/// How a read went, timed from the reader's side.
struct FolderAnswer {
    bool answered = false;  // within the wait; else the folder stalled
    std::chrono::milliseconds took{0};
    FileBytes::Status status = FileBytes::Status::Stalled;
};

/// Reads the start of the file at a native path as the board reads it.
FolderAnswer timedRead(const std::string& nativePath);

/// What stands at a native path; nothing when its folder stalled.
std::optional<PathFacts> boundedLook(const std::string& nativePath);

}  // namespace pelm::pc
