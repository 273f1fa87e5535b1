#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace pelm {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One converter per direction and thread; CP932 has no shift states, so
// resetting after each call keeps every call independent of the last.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `in`; at each byte that cannot be converted, appends
    // `substitute` and skips `skipWidth(rest)` bytes.
    template <typename SkipWidth>
    std::string convert(std::string_view in, std::string_view substitute, SkipWidth skipWidth) {
        std::string out;
        out.reserve(in.size() * 3 / 2 + 16);
        std::array<char, 4096> buffer;
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        while (inLeft > 0) {
            char* outPtr = buffer.data();
            size_t outLeft = buffer.size();
            size_t result = iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer.data(), outPtr);
            if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
            out.append(substitute);
            size_t skip = std::min(inLeft, skipWidth(std::string_view(inPtr, inLeft)));
            inPtr += skip;
            inLeft -= skip;
        }
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        return out;
    }

private:
    iconv_t handle_;
};

Converter& decoder() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

Converter& encoder() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

constexpr bool isTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// An unassigned pair is one bad character, not a bad byte and a good one.
size_t cp932CharacterLength(std::string_view rest) {
    bool pair = rest.size() >= 2 && isLeadByte(static_cast<unsigned char>(rest[0])) &&
                isTrailByte(static_cast<unsigned char>(rest[1]));
    return pair ? 2 : 1;
}

size_t utf8SequenceLength(std::string_view rest) {
    unsigned char first = static_cast<unsigned char>(rest.front());
    size_t length = first < 0xC0 ? 1 : first < 0xE0 ? 2 : first < 0xF0 ? 3 : 4;
    return std::min(length, rest.size());
}

// Symbols that JIS-minded software writes in their Unicode JIS form while
// CP932 holds only the full-width form.
constexpr std::pair<std::string_view, std::string_view> kJisToCp932Forms[] = {
    {"\u301C", "\uFF5E"},  // wave dash → full-width tilde
    {"\u2212", "\uFF0D"},  // minus sign → full-width hyphen-minus
    {"\u2016", "\u2225"},  // double vertical line → parallel to
    {"\u2014", "\u2015"},  // em dash → horizontal bar
    {"\u00A2", "\uFFE0"},  // cent sign
    {"\u00A3", "\uFFE1"},  // pound sign
    {"\u00AC", "\uFFE2"},  // not sign
};

std::string withCp932Forms(std::string_view utf8) {
    std::string text(utf8);
    for (auto [jis, cp932] : kJisToCp932Forms) {
        for (size_t at = text.find(jis); at != std::string::npos; at = text.find(jis, at)) {
            text.replace(at, jis.size(), cp932);
            at += cp932.size();
        }
    }
    return text;
}

}  // namespace

std::string_view withoutDanglingLeadByte(std::string_view cp932) {
    std::size_t last = 0;  // where the last character starts
    for (std::size_t at = 0; at < cp932.size(); at += characterLength(cp932, at)) last = at;
    const bool dangling =
        last + 1 == cp932.size() && isLeadByte(static_cast<unsigned char>(cp932[last]));
    return dangling ? cp932.substr(0, last) : cp932;
}

bool cutSplitsCharacter(std::string_view cp932, std::size_t length) {
    if (length == 0 || length >= cp932.size()) return false;
    return withoutDanglingLeadByte(cp932.substr(0, length)).size() != length;
}

std::string cp932ToUtf8(const Cp932& text) {
    std::string_view cp932 = withoutDanglingLeadByte(text.view());
    if (isAscii(cp932)) return std::string(cp932);
    return decoder().convert(cp932, kReplacementUtf8, cp932CharacterLength);
}

QString fromCp932(const Cp932& text) {
    std::string utf8 = cp932ToUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

Cp932 utf8ToCp932(std::string_view utf8) {
    if (isAscii(utf8)) return Cp932(std::string(utf8));
    return Cp932(encoder().convert(withCp932Forms(utf8), "?", utf8SequenceLength));
}

Cp932 toCp932(const QString& text) {
    return utf8ToCp932(text.toUtf8().toStdString());
}

bool isValidCp932(std::string_view cp932) {
    if (isAscii(cp932)) return true;
    if (withoutDanglingLeadByte(cp932).size() != cp932.size()) return false;
    // CP932 has no U+FFFD of its own, so any in the result marks a bad byte.
    return cp932ToUtf8(Cp932(std::string(cp932))).find(kReplacementUtf8) == std::string::npos;
}

}  // namespace pelm
