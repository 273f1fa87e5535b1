// Any bytes: decoding never fails, gives valid UTF-8, and text that decodes
// cleanly encodes back to the same bytes.

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string utf8 = pelm::cp932ToUtf8(pelm::Cp932(std::string(bytes)));
    if (QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()))
            .toUtf8()
            .toStdString() != utf8)
        std::abort();
    if (pelm::isValidCp932(bytes) && bytes.find('\0') == std::string_view::npos) {
        // CP932 maps a few characters twice (NEC and IBM rows); those come
        // back in their preferred form, which decodes to the same text.
        if (pelm::cp932ToUtf8(pelm::utf8ToCp932(utf8)) != utf8) std::abort();
    }
    pelm::utf8ToCp932(bytes);  // arbitrary bytes as UTF-8 must not fail either
    return 0;
}
