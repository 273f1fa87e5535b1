#include "venue/picture_check.h"

#include <cstdint>

namespace pelm::venue {
namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view kHeaderChunk("\0\0\0\x0dIHDR", 8);
constexpr std::string_view kEnd("\0\0\0\0IEND\xae\x42\x60\x82", 12);

std::uint32_t bigEndian(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

bool goodPictureHead(std::string_view head) {
    if (head.size() < static_cast<std::size_t>(kPictureHeadBytes) ||
        !head.starts_with(kSignature) ||
        head.substr(kSignature.size(), kHeaderChunk.size()) != kHeaderChunk)
        return false;
    const std::uint32_t width = bigEndian(head, 16), height = bigEndian(head, 20);
    return width > 0 && height > 0 && width <= kMaxPictureWidth && height <= kMaxPictureHeight;
}

bool goodPicture(std::string_view bytes) {
    return bytes.size() <= static_cast<std::size_t>(kMaxPictureBytes) && goodPictureHead(bytes) &&
           bytes.ends_with(kEnd);
}

}  // namespace pelm::venue
