#include "engine/schedule.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/paths.h"

namespace pelm {

Cp932 schedulePath(const Cp932& dataDir) {
    return dataDir + cp932Ascii("\\") + cp932Ascii(kScheduleFileName);
}

Cp932 noticePath(const Cp932& dataDir) {
    return dataDir + cp932Ascii("\\") + cp932Ascii(kNoticeFileName);
}

std::vector<ShareCall> dataFileCalls(const Cp932& dataDir) {
    const std::size_t most = kScheduleLimits.maxBytes + 1;
    return {FileRequest{nativePath(schedulePath(dataDir)), most, Links::NotFollowed},
            FileRequest{nativePath(noticePath(dataDir)), most, Links::NotFollowed}};
}

std::optional<DataFiles> dataFilesOf(std::vector<ShareAnswer> answers, const Cp932& dataDir) {
    const auto unanswered = [](const ShareAnswer& answer) {
        return std::holds_alternative<NoAnswer>(answer);
    };
    if (answers.size() != 2 || std::ranges::any_of(answers, unanswered)) return std::nullopt;
    DataFiles files;
    if (const CallFailed* failed = std::get_if<CallFailed>(&answers[0]))
        files.failure =
            utf8ToCp932("フォルダ '") + dataDir + utf8ToCp932("' を読めません: " + failed->reason);
    FileBytes schedule = fileBytesOf(std::move(answers[0]));
    FileBytes notice = fileBytesOf(std::move(answers[1]));
    if (schedule.read()) files.schedule = std::move(schedule.bytes);
    if (notice.read()) files.notice = std::move(notice.bytes);
    return files;
}

LimitedLines scheduleLines(std::string_view bytes) {
    return splitLinesWithin(bytes, kScheduleLimits);
}

Cp932 scheduleCutMessage(const Cp932& dataDir) {
    return schedulePath(dataDir) +
           utf8ToCp932(" が大きすぎます: 先頭の " + std::to_string(kScheduleLimits.maxLines) +
                       " 行、" + std::to_string(kScheduleLimits.maxBytes >> 20) +
                       " MB までを使います");
}

std::optional<Cp932> scheduleNulMessage(const Cp932& dataDir, std::string_view bytes) {
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) return std::nullopt;
    return schedulePath(dataDir) +
           utf8ToCp932(" の " + std::to_string(nul + 1) + " バイト目に NUL があります: 以降の " +
                       std::to_string(bytes.size() - nul) +
                       " バイトは使いません (Shift-JIS で保存してください)");
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
    // The fields are the schedule file's own bytes, cut by bytes.
    return RaceEntry{Cp932(fields[0].substr(0, kStartLength)),
                     Cp932(fields[1].substr(0, kEndLength)),
                     Cp932(fields[2].substr(0, kTitleLength))};
}

Cp932 noticeText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return Cp932(std::move(text));  // the notice file's own bytes
}

}  // namespace pelm
