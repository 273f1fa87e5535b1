#pragma once
// The data files read at once, as a board's reads bring them in the end:
// for tests that refresh a cycle step by step.

#include <chrono>

#include "engine/schedule.h"
#include "platform/paths.h"
#include "platform/share_worker.h"

namespace pelm::testing {

inline DataFiles readDataFiles(const Cp932& dataDir) {
    ShareWorker& worker = ShareWorker::forFolder(nativePath(dataDir));
    return dataFilesOf(worker.call(dataFileCalls(dataDir), std::chrono::seconds(10)), dataDir)
        .value_or(DataFiles{});
}

}  // namespace pelm::testing
