#pragma once
// Only pictures a board could have made reach a browser: a board's picture
// of its screen is a PNG a few hundred pixels wide. A file planted beside
// the copies that claims thousands of pixels a side in a few hundred bytes
// would make every phone that shows the page decode gigabytes.

#include <string_view>

namespace pelm::venue {

constexpr int kMaxPictureBytes = 512 * 1024;
constexpr int kMaxPictureWidth = 1920;
constexpr int kMaxPictureHeight = 1200;
/// The signature and the header chunk, where the size stands.
constexpr int kPictureHeadBytes = 33;

/// Whether `head` (a file's first bytes) starts a PNG whose size is within
/// the bounds above.
bool goodPictureHead(std::string_view head);

/// Whether `bytes` is a whole PNG within the bounds: a good head, an end
/// chunk at its end (a picture still being written has none), and no more
/// than kMaxPictureBytes.
bool goodPicture(std::string_view bytes);

}  // namespace pelm::venue
