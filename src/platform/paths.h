#pragma once
// The board forms paths the Windows way, by plain concatenation with
// backslashes ("C:\data" + "\RInfo.txt"). These helpers turn such a path
// into one this system can open.

#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm {

/// A board path (CP932, backslashes) as a native UTF-8 path: each
/// backslash that is a character of its own becomes "/"; the second byte of
/// a double-byte character (such as 0x5C in "表") is left alone.
std::string nativePath(const Cp932& boardPath);

/// The process's current directory as a board path.
Cp932 currentDirectory();

}  // namespace pelm
