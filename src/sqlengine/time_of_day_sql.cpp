#include "sqlengine/time_of_day_sql.h"

#include <sqlite3.h>

#include <string>

#include "platform/time_of_day.h"

namespace pelm {
namespace {

std::optional<TimeOfDay> timeOf(std::string_view text) {
    return parseTimeOfDay(text, currentLocaleTime());
}

int compareBytes(std::string_view a, std::string_view b) {
    int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

// On bytes where they lie: the collation meets the engine's own many
// times per sort and must not copy them.
int compareTimes(std::string_view a, std::string_view b) {
    const std::optional<TimeOfDay> timeA = timeOf(a);
    const std::optional<TimeOfDay> timeB = timeOf(b);
    if (timeA && timeB) return *timeA < *timeB ? -1 : *timeA > *timeB ? 1 : 0;
    if (timeA || timeB) return timeA ? -1 : 1;
    return compareBytes(a, b);
}

int collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return compareTimes({static_cast<const char*>(a), static_cast<size_t>(lengthA)},
                        {static_cast<const char*>(b), static_cast<size_t>(lengthB)});
}

// NULL passes, as a CHECK lets NULL pass; a time gives 1; anything else
// fails the statement with the board's time-conversion message.
void checkTime(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) return sqlite3_result_null(context);
    const char* bytes = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    std::string_view text(bytes ? bytes : "", sqlite3_value_bytes(arguments[0]));
    if (timeOf(text)) return sqlite3_result_int(context, 1);
    const Cp932 message = notATimeMessage(text);
    sqlite3_result_error(context, message.bytes().data(), static_cast<int>(message.size()));
    // A refused value, like any constraint: the caller leaves the row out
    // and goes on, where a plain error would mean the statement is wrong.
    sqlite3_result_error_code(context, SQLITE_CONSTRAINT_FUNCTION);
}

}  // namespace

int compareTimeTexts(const Cp932& a, const Cp932& b) {
    return compareTimes(a.view(), b.view());
}

int registerTimeOfDay(sqlite3* handle) {
    int result = sqlite3_create_collation(handle, std::string(kTimeOfDayCollation).c_str(),
                                          SQLITE_UTF8, nullptr, collate);
    if (result != SQLITE_OK) return result;
    return sqlite3_create_function(handle, std::string(kTimeOfDayCheck).c_str(), 1,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   checkTime, nullptr, nullptr);
}

}  // namespace pelm
