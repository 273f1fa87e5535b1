#include "platform/paths.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/codepage.h"

namespace pelm {

std::string nativePath(const Cp932& text) {
    const std::string_view boardPath = text.view();
    std::string slashed;
    slashed.reserve(boardPath.size());
    for (size_t i = 0; i < boardPath.size(); i += characterLength(boardPath, i)) {
        if (characterLength(boardPath, i) == 2)
            slashed.append(boardPath.substr(i, 2));
        else
            slashed.push_back(boardPath[i] == '\\' ? '/' : boardPath[i]);
    }
    return cp932ToUtf8(Cp932(std::move(slashed)));
}

Cp932 currentDirectory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return cp932Ascii(".");
        buffer.resize(buffer.size() * 2);
    }
    return utf8ToCp932(buffer.data());
}

}  // namespace pelm
