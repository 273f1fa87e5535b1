#include "platform/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace pelm {
namespace {

[[noreturn]] void cannotOpen(const std::string& boardPath) {
    throw Error(utf8ToCp932("ファイル ") + boardPath + utf8ToCp932(" を開けません"));
}

class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::vector<std::string> splitLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::string readWholeFile(const std::string& boardPath) {
    FileHandle file(open(nativePath(boardPath).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat status;
    if (file.fd() < 0 || fstat(file.fd(), &status) != 0 || !S_ISREG(status.st_mode)) {
        cannotOpen(boardPath);
    }
    // Read to the end rather than trusting the size: a writer may be
    // growing or shrinking the file while we read it.
    std::string content;
    content.resize(static_cast<size_t>(status.st_size) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == content.size()) content.resize(content.size() * 2);
        ssize_t got = read(file.fd(), content.data() + filled, content.size() - filled);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            cannotOpen(boardPath);
        }
        filled += static_cast<size_t>(got);
    }
    content.resize(filled);
    return content;
}

std::vector<std::string> readLines(const std::string& boardPath) {
    return splitLines(readWholeFile(boardPath));
}

}  // namespace pelm
