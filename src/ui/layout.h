#pragma once
// The board's fixed layout: every position, size, colour and font of the
// window, in pixels of the 96-dpi screen it was drawn for. Positions of the
// upper area's elements are relative to Panel10, those of the row labels to
// Panel3, those of the pictures to their panels, and DBMemo1's to Panel11.

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "engine/board_rules.h"
#include "engine/window_rules.h"

namespace pelm::layout {

struct FontSpec {
    const char* family;
    int pixels;
};

constexpr char kGothic[] = "ＭＳ Ｐゴシック";
constexpr char kMincho[] = "ＭＳ Ｐ明朝";

// How wide the layout's faces write a time ("10:15:25"): the clock is 484
// pixels wide at 133 pixels high, and a start time at 43 pixels fills the
// 154-pixel start column up to the 3-pixel inset on its right.
struct DesignMeasure {
    const char* family;
    int pixels;
    int width;
};
constexpr char kMeasureText[] = "10:15:25";
constexpr DesignMeasure kDesignMeasures[] = {{kMincho, 133, 484}, {kGothic, 43, 151}};

// Colours.
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kSilver = qRgb(192, 192, 192);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kNoticeBlue = qRgb(0, 0, 160);
constexpr QRgb kWindowText = kBlack;
constexpr QRgb kDragLine = qRgb(128, 128, 128);

// Form1.
constexpr char kCaption[] = "Tovalen V1.3";
constexpr FontSpec kWindowFont{kGothic, 12};
constexpr QSize kOuterSize{1013, 710};
// The frame of the desktop the board was laid out on (4-pixel sizing
// borders, a 23-pixel caption bar). The outer size is the client size plus
// this frame, whatever frame the window manager of the day draws, so the
// layout and the notice area come out as they did there.
constexpr QSize kNominalFrame{8, 31};
constexpr int kTimerIntervalMs = 250;

// Upper area (Panel10), in stacking order.
constexpr QPoint kLabtime{232, 0};
constexpr char kDesignClockText[] = "10:15:25";
constexpr QRect kPanel7{6, 14, 225, 102};
constexpr QRect kImage2{-2, -2, 211, 107};
constexpr QRect kDBGrid1{130, 168, 884, 465};
constexpr QRect kPanel1{144, 152, 841, 33};
constexpr QRect kPanel2{988, 112, 19, 529};
constexpr QRect kPanel4{164, 186, 820, 1};
constexpr QRect kPanel5{144, 624, 849, 12};
constexpr QRect kPanel6{16, 160, 977, 473};
constexpr QRect kPanel9{776, 5, 137, 33};
constexpr int kPanel9LeftAlone = 8;  // where the small logo goes without the large one
constexpr QRect kImage1{1, 1, 122, 26};
constexpr QRect kPanel3{8, 166, 136, 469};
constexpr QRect kEd1{488, 133, 474, 51};
constexpr QRect kEdt{351, 141, 130, 41};
constexpr FontSpec kEd1Font{kGothic, 43};
constexpr FontSpec kEdtFont{kGothic, 32};
constexpr char kEdtText[] = "Previous";

// Captions of the cover panels: black on black, they never show.
constexpr char kPanel1Caption[] = "上隠し";
constexpr char kPanel2Caption[] = "右隠し";
constexpr char kPanel5Caption[] = "下隠し";
constexpr char kPanel6Caption[] = "待機中用";
constexpr char kPanel9Caption[] = "Panel9";

// The built-in pictures.
constexpr QSize kLargeLogo{220, 106};
constexpr QSize kSmallLogo{118, 24};

// DBGrid1. Each row includes the 1-pixel line under it.
constexpr int kGridEdge = 2;
constexpr int kIndicatorWidth = 11;
constexpr int kTitleRowHeight = 16 + 1;
constexpr int kRowPitch = 47 + 1;
constexpr FontSpec kCellFont{kGothic, 43};
constexpr FontSpec kTitleFont{kGothic, 12};
constexpr int kTextLeft = 2;   // left-aligned text starts this far into its cell
constexpr int kTextRight = 3;  // right-aligned text ends this far before the cell's edge
constexpr int kTextTop = 2;

struct GridColumn {
    const char* field;  // "" for the spacer
    int width;
    bool rightAligned;
};
constexpr GridColumn kGridColumns[] = {
    {"btime", 154, true}, {"kara", 26, false},   {"etime", 150, true},
    {"", 12, false},      {"rmenu", 499, false},
};

// Row labels on Panel3, beside the nine visible grid rows.
struct RowLabel {
    const char* name;
    std::string_view text;
    QPoint at;
    QRgb colour;
};
constexpr FontSpec kRowLabelFont{kGothic, 45};
constexpr RowLabel kRowLabels[] = {
    {"Label2", kNowWord, {2, 22}, kSilver},
    {"Label5", kNowArrow, {86, 22}, kRed},
    {"Label3", kLaterRowLabels[0], {86, 70}, kSilver},
    {"Label4", kLaterRowLabels[1], {98, 119}, kSilver},
    {"Label1", kLaterRowLabels[2], {98, 166}, kSilver},
    {"Label6", kLaterRowLabels[3], {98, 214}, kSilver},
    {"Label7", kLaterRowLabels[4], {98, 262}, kSilver},
    {"Label9", kLaterRowLabels[5], {98, 310}, kSilver},
    {"Label10", kLaterRowLabels[6], {98, 358}, kSilver},
    {"Label11", kLaterRowLabels[7], {98, 406}, kSilver},
};

// Notice area (Panel11).
constexpr QRect kDBMemo1{16, 0, 969, 193};
constexpr FontSpec kNoticeFont{kGothic, 43};

}  // namespace pelm::layout
