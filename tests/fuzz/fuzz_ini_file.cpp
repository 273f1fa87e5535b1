// Any settings file: reading and writing keys never fails, a key written
// reads back, and every other key reads as before.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("pelm-fuzz-" + std::to_string(getpid()) + ".ini"))
                                        .string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    pelm::IniFile file = pelm::IniFile::load(path);
    auto before = file.value("Font", "Size");
    const pelm::Cp932 dataDir = pelm::cp932Ascii("C:\\data");
    file.setValue("Env", "DataDir", dataDir);
    if (file.value("Env", "DataDir") != dataDir) std::abort();
    if (file.value("Font", "Size") != before) std::abort();
    for (const std::string& section : file.sections()) file.entries(section);
    pelm::IniFile reread = pelm::IniFile::load(path);
    (void)reread.text();
    return 0;
}
