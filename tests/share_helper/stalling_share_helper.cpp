// A folder's helper for the share tests: a call on a name ending in
// ".stall", or on any name while a file "hold" stands beside it, hangs as a
// stalled share does, in a blocking open of the FIFO "fifo" beside it until
// a writer opens that; one ending in ".fail" fails on its own, as a read
// with no memory left for the file's bytes does. While a file "slow" stands
// beside a name, every call on it first waits the milliseconds it holds,
// as a slow share does.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#include "platform/share_helper.h"

int main(int argc, char** argv) {
    return pelm::runShareHelper(argc, argv, [](const pelm::ShareCall& call) {
        const std::string& path = pelm::pathOf(call);
        if (path.ends_with(".fail")) throw std::bad_alloc();
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        long slowMs = 0;
        if (std::ifstream(folder / "slow") >> slowMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
        if (path.ends_with(".stall") || std::filesystem::exists(folder / "hold"))
            close(open((folder / "fifo").c_str(), O_RDONLY));
        return pelm::performCall(call);
    });
}
