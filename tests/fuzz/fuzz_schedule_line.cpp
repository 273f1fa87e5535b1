// Any schedule file: lines split, each line cuts into a race within its
// limits or is skipped, and the check of the whole schedule never fails.

#include <QLocale>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/schedule.h"
#include "engine/schedule_check.h"
#include "platform/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines = pelm::splitLines(text);
    std::vector<std::string> fields;
    for (const std::string& line : lines) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
        auto race = pelm::cutRaceEntry(line, fields);
        if (race &&
            (race->start.size() > pelm::kStartLength || race->end.size() > pelm::kEndLength ||
             race->title.size() > pelm::kTitleLength))
            std::abort();
        if (race.has_value() != (fields.size() >= 3)) std::abort();
    }
    pelm::checkSchedule(lines, pelm::LocaleTime{});
    return 0;
}
