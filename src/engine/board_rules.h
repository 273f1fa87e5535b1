#pragma once
// Rules of the board that the window and pelmctl both follow: how a colour
// value is laid out, what the Logo setting asks for, the row labels beside
// the grid. Each lives here once, so the two cannot drift apart.

#include <QString>
#include <array>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm {

/// The three channels of a 0x00BBGGRR colour value, red in the low byte;
/// the high byte carries nothing.
struct Rgb {
    int red;
    int green;
    int blue;
    bool operator==(const Rgb&) const = default;
};

constexpr Rgb rgbOf(int colorValue) {
    const auto bits = static_cast<unsigned>(colorValue);
    return {static_cast<int>(bits & 0xFF), static_cast<int>(bits >> 8 & 0xFF),
            static_cast<int>(bits >> 16 & 0xFF)};
}

constexpr int colorValueOf(Rgb rgb) {
    return (rgb.red & 0xFF) | (rgb.green & 0xFF) << 8 | (rgb.blue & 0xFF) << 16;
}

/// What a Logo setting asks for, before any picture is read.
struct LogoRequest {
    enum Kind {
        BuiltIn,  // exactly "on"
        Picture,  // any other text names a picture file; unreadable, it hides
        Hidden,   // an empty value
    } kind;
    QString picturePath;  // native, for Picture
};

/// The request of a Logo setting.
LogoRequest logoRequest(const Cp932& setting);

/// The labels beside the grid's nine visible rows, top down (UTF-8). The
/// first comes in two pieces, the word and the arrow, drawn in two colours.
constexpr std::string_view kNowWord = "Now";
constexpr std::string_view kNowArrow = "=>";
constexpr std::array<std::string_view, 8> kLaterRowLabels = {"次", "２", "３", "４",
                                                             "５", "６", "７", "８"};
constexpr std::size_t kVisibleRows = 1 + kLaterRowLabels.size();

/// The label of a visible row as one text: "Now =>", "次", "２" … "８".
std::string rowLabel(std::size_t row);

}  // namespace pelm
