#include "venuepc/config_files.h"

#include <algorithm>
#include <fstream>

#include "platform/codepage.h"
#include "platform/ini_file.h"

namespace pelm::pc {

std::filesystem::path under(const std::filesystem::path& root, const std::string& absolute) {
    return root / std::filesystem::path(absolute).relative_path();
}

std::vector<std::filesystem::path> dropIns(const std::filesystem::path& root,
                                           const std::string& folder, const std::string& suffix) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(under(root, folder), error)) {
        if (entry.path().extension() == suffix) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
    return files;
}

std::optional<std::string> lastValue(const std::vector<std::filesystem::path>& files,
                                     const std::string& section, const std::string& key) {
    std::optional<std::string> found;
    for (const auto& file : files) {
        if (auto value = IniFile::load(file.string()).value(section, key)) found = value->bytes();
    }
    return found;
}

std::optional<std::string> readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::optional<std::string> readConfig(const std::filesystem::path& root,
                                      const std::string& absolute) {
    return readWhole(under(root, absolute));
}

}  // namespace pelm::pc
