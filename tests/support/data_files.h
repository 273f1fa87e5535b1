#pragma once
// Text and data files read at once, as a board's reads bring them in the
// end: for tests that refresh a cycle step by step.

#include <chrono>

#include "engine/schedule.h"
#include "platform/paths.h"
#include "platform/share_worker.h"
#include "platform/text_file.h"

namespace pelm::testing {

/// The lines of the text file at a board path, within limits.
inline LimitedLines readLines(const Cp932& boardPath, const TextLimits& limits) {
    return splitLinesWithin(readFileStart(boardPath, limits.maxBytes + 1), limits);
}

inline DataFiles readDataFiles(const Cp932& dataDir) {
    ShareWorker& worker = ShareWorker::forFolder(nativePath(dataDir));
    return dataFilesOf(worker.call(dataFileCalls(dataDir), std::chrono::seconds(10)), dataDir)
        .value_or(DataFiles{});
}

}  // namespace pelm::testing
