#include "engine/schedule.h"

#include "platform/codepage.h"

namespace pelm {

std::string schedulePath(std::string_view dataDir) { return std::string(dataDir) + "\\RInfo.txt"; }

std::string noticePath(std::string_view dataDir) { return std::string(dataDir) + "\\RInfomem.txt"; }

LimitedLines readScheduleLines(std::string_view dataDir) {
    return scheduleLines(readScheduleBytes(dataDir));
}

std::string readScheduleBytes(std::string_view dataDir) {
    return readFileStart(schedulePath(dataDir), kScheduleLimits.maxBytes + 1);
}

LimitedLines scheduleLines(std::string_view bytes) {
    return splitLinesWithin(bytes, kScheduleLimits);
}

LimitedLines readNoticeLines(std::string_view dataDir) {
    return readLinesWithin(noticePath(dataDir), kScheduleLimits);
}

Cp932 scheduleCutMessage(std::string_view dataDir) {
    return Cp932(schedulePath(dataDir)) +
           utf8ToCp932(" が大きすぎます: 先頭の " + std::to_string(kScheduleLimits.maxLines) +
                       " 行、" + std::to_string(kScheduleLimits.maxBytes >> 20) +
                       " MB までを使います");
}

void CsvToStringList(std::string_view line, std::vector<std::string>& fields) {
    for (;;) {
        size_t comma = line.find(',');
        if (comma == std::string_view::npos) {
            fields.emplace_back(line);
            return;
        }
        fields.emplace_back(line.substr(0, comma));
        line.remove_prefix(comma + 1);
    }
}

std::optional<RaceEntry> cutRaceEntry(std::string_view line, std::vector<std::string>& fields) {
    fields.clear();
    CsvToStringList(line, fields);
    if (fields.size() < 3) return std::nullopt;
    return RaceEntry{fields[0].substr(0, kStartLength), fields[1].substr(0, kEndLength),
                     fields[2].substr(0, kTitleLength)};
}

std::string noticeText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace pelm
