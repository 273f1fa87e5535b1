#include "platform/time_of_day.h"

#include <QRegularExpression>

#include "platform/ascii_case.h"
#include "platform/codepage.h"

namespace pelm {
namespace {

LocaleTime& processLocaleTime() {
    static LocaleTime localeTime;
    return localeTime;
}

Cp932 digits(long value) {
    return utf8ToCp932(std::to_string(value));
}

Cp932 twoDigits(long value) {
    return value < 10 ? cp932Ascii("0") + digits(value) : digits(value);
}

bool isAsciiText(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Reads a time text left to right; every scan either consumes what it looks
// for and answers true, or leaves the position where it was.
class TimeScanner {
public:
    TimeScanner(std::string_view text, const LocaleTime& locale) : text_(text), locale_(locale) {}

    void skipSpaces() {
        while (at_ < text_.size() && text_[at_] == ' ') ++at_;
    }

    bool scanText(const Cp932& text) { return scanText(text.view()); }

    bool scanText(std::string_view word) {
        if (word.empty()) return false;
        skipSpaces();
        if (text_.size() - at_ < word.size()) return false;
        std::string_view here = text_.substr(at_, word.size());
        // Case folding is for ASCII words only: in a double-byte word it
        // could fold a trail byte and match a different character.
        bool same = isAsciiText(word) ? sameAsciiName(here, word) : here == word;
        if (same) at_ += word.size();
        return same;
    }

    bool scanNumber(int& value) {
        skipSpaces();
        size_t start = at_;
        value = 0;
        while (at_ < text_.size() && at_ - start < 4 && text_[at_] >= '0' && text_[at_] <= '9') {
            value = value * 10 + (text_[at_] - '0');
            ++at_;
        }
        return at_ > start;
    }

    // 0 for none, 1 for AM, 2 for PM.
    int scanMarker() {
        if (scanText(locale_.amWord) || scanText("AM")) return 1;
        if (scanText(locale_.pmWord) || scanText("PM")) return 2;
        return 0;
    }

    bool atEnd() {
        skipSpaces();
        return at_ == text_.size();
    }

private:
    std::string_view text_;
    const LocaleTime& locale_;
    size_t at_ = 0;
};

std::optional<TimeOfDay> composeTime(int hour, int minute, int second, int millisecond,
                                     int marker) {
    if (marker != 0) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (marker == 2 ? 12 : 0);
    }
    if (hour > 23 || minute > 59 || second > 59 || millisecond > 999) return std::nullopt;
    return TimeOfDay(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

// Where in Qt's format the hour stands, and how it is written.
struct HourField {
    qsizetype at = -1;
    qsizetype length = 0;
    QChar letter;
};

HourField findHour(const QString& format) {
    HourField field;
    field.at = format.indexOf(QRegularExpression("[Hh]"));
    if (field.at < 0) return field;
    field.letter = format[field.at];
    while (field.at + field.length < format.size() &&
           format[field.at + field.length] == field.letter)
        ++field.length;
    return field;
}

}  // namespace

LocaleTime LocaleTime::fromLocale(const QLocale& locale) {
    LocaleTime result;
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    const HourField hour = findHour(format);
    if (hour.at >= 0) {
        result.twelveHour = hour.letter == 'h';
        result.leadingZero = hour.length >= 2;
        qsizetype end = hour.at + hour.length;
        qsizetype next = end;
        while (next < format.size() && !format[next].isLetter()) ++next;
        // Quoted literals ('時') and blanks are no separator of ours.
        QString separator = format.mid(end, next - end).remove('\'').trimmed();
        if (!separator.isEmpty()) result.separator = toCp932(separator);
    }
    const qsizetype marker = format.indexOf(QRegularExpression("[Aa]"));
    if (marker >= 0 && hour.at >= 0) result.markerBefore = marker < hour.at;
    if (!locale.amText().isEmpty()) result.amWord = toCp932(locale.amText());
    if (!locale.pmText().isEmpty()) result.pmWord = toCp932(locale.pmText());
    if (!locale.decimalPoint().isEmpty()) result.decimalSeparator = toCp932(locale.decimalPoint());
    return result;
}

const LocaleTime& currentLocaleTime() {
    return processLocaleTime();
}

void setCurrentLocaleTime(LocaleTime localeTime) {
    processLocaleTime() = std::move(localeTime);
}

Cp932 formatTimeOfDay(TimeOfDay time, const LocaleTime& locale) {
    long seconds = static_cast<long>(time.count() / 1000 % 86400);
    long hour = seconds / 3600;
    Cp932 marker;
    if (locale.twelveHour) {
        marker = hour < 12 ? locale.amWord : locale.pmWord;
        hour = hour % 12 == 0 ? 12 : hour % 12;
    }
    Cp932 text = locale.leadingZero ? twoDigits(hour) : digits(hour);
    text += locale.separator + twoDigits(seconds / 60 % 60) + locale.separator +
            twoDigits(seconds % 60);
    if (marker.empty()) return text;
    const Cp932 space = cp932Ascii(" ");
    return locale.markerBefore ? marker + space + text : text + space + marker;
}

namespace {

// "H:MM:SS" or "HH:MM:SS" with the locale's one-byte separator, the form of
// every schedule line and clock text, read without the scanner: sorting a
// day's races parses their start times thousands of times. Anything else
// (words, spaces, milliseconds, other widths) is the scanner's.
std::optional<TimeOfDay> plainTime(std::string_view text, std::string_view separator, bool& plain) {
    const std::size_t hourDigits = text.size() == 8 ? 2 : text.size() == 7 ? 1 : 0;
    plain = hourDigits != 0 && separator.size() == 1;
    int fields[3] = {0, 0, 0};
    int field = 0;
    for (std::size_t at = 0; plain && at < text.size(); ++at) {
        const bool breaks = at == hourDigits || at == hourDigits + 3;
        if (breaks) {
            plain = text[at] == separator.front();
            ++field;
        } else {
            plain = text[at] >= '0' && text[at] <= '9';
            fields[field] = fields[field] * 10 + (text[at] - '0');
        }
    }
    if (!plain) return std::nullopt;
    return composeTime(fields[0], fields[1], fields[2], 0, 0);
}

}  // namespace

std::optional<TimeOfDay> parseTimeOfDay(std::string_view text, const LocaleTime& locale) {
    bool plain = false;
    const std::optional<TimeOfDay> time = plainTime(text, locale.separator.view(), plain);
    if (plain) return time;
    TimeScanner scanner(text, locale);
    int marker = scanner.scanMarker();
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!scanner.scanNumber(hour)) return std::nullopt;
    if (scanner.scanText(locale.separator)) {
        if (!scanner.scanNumber(minute)) return std::nullopt;
        if (scanner.scanText(locale.separator)) {
            if (!scanner.scanNumber(second)) return std::nullopt;
            if (scanner.scanText(locale.decimalSeparator) && !scanner.scanNumber(millisecond))
                return std::nullopt;
        }
    }
    if (marker == 0) marker = scanner.scanMarker();
    if (!scanner.atEnd()) return std::nullopt;
    return composeTime(hour, minute, second, millisecond, marker);
}

Cp932 notATimeMessage(std::string_view text) {
    return cp932Ascii("'") + Cp932(std::string(text)) + utf8ToCp932("' は時刻ではありません");
}

}  // namespace pelm
