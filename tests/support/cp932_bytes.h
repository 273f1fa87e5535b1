#pragma once
// Tests compare what the board writes into files, tables and statements,
// which is bytes: these give the bytes of a CP932 text written in UTF-8.

#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace pelm::testing {

inline std::string cp932Bytes(std::string_view utf8) {
    return utf8ToCp932(utf8).bytes();
}

/// The UTF-8 of CP932 bytes, for a readable failure message.
inline std::string utf8Of(std::string bytes) {
    return cp932ToUtf8(Cp932(std::move(bytes)));
}

}  // namespace pelm::testing
