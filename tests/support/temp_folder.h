#pragma once
// A folder of its own for one test, removed with everything in it afterwards.

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace pelm::testing {

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pelm-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }

    /// Writes `bytes` to the file `name` in the folder, exactly.
    void write(std::string_view name, std::string_view bytes) const {
        std::ofstream(path_ / name, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::string read(std::string_view name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path path_;
};

/// The bytes of a fixture under tests/data.
inline std::string fixture(std::string_view name) {
    std::ifstream in(std::filesystem::path(PELM_TEST_DATA) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string fixturePath(std::string_view name) {
    return (std::filesystem::path(PELM_TEST_DATA) / name).string();
}

}  // namespace pelm::testing
