#pragma once
// Write failures that bind root too: tests run as root, whom permission bits
// do not stop, but the file-size limit does.

#include <sys/resource.h>

#include <csignal>

namespace pelm::testing {

/// Makes every later write past `bytes` in this process fail with EFBIG.
/// Meant for the child process of a death test.
inline void limitFileSize(rlim_t bytes) {
    rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace pelm::testing
