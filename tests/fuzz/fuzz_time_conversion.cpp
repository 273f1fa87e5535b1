// Any text: the time conversion answers or declines, within its limits, and
// what the clock writes for the answer reads back as the same time.

#include <QLocale>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/time_of_day.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const pelm::LocaleTime locales[] = {pelm::LocaleTime::fromLocale(QLocale("ja_JP")),
                                               pelm::LocaleTime::fromLocale(QLocale("en_US")),
                                               pelm::LocaleTime{}};
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const pelm::LocaleTime& locale : locales) {
        auto time = pelm::parseTimeOfDay(text, locale);
        if (!time) continue;
        if (time->count() < 0 || time->count() >= 86'400'000) std::abort();
        pelm::TimeOfDay whole(time->count() / 1000 * 1000);
        if (pelm::parseTimeOfDay(pelm::formatTimeOfDay(*time, locale).view(), locale) != whole)
            std::abort();
    }
    return 0;
}
