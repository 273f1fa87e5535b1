// pelmctl settings: the seven values the board would take from its settings
// file, marking those that are defaults, so an operator can see why the board
// does what it does.

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "engine/board_rules.h"
#include "engine/board_settings.h"
#include "pelmctl/command.h"
#include "platform/codepage.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

namespace pelmctl {
namespace {

constexpr std::string_view kHelp = R"(Usage: pelmctl settings [--ini FILE] [--json]

Shows the seven values the board would use from its settings file, and marks
each one that is a default because its key is missing or cannot be read.
The optional keys TableDir, StatusDir and Name of [Env] follow when they are
set.

Options:
  --ini FILE   the settings file to read (default: PelmDp.ini in the current
               directory, where the board looks for it)
  --json       print one JSON object instead: DataDir, Logo, Setuzoku, Taiki,
               Font (texts), Color, Size (integers) and defaults (the keys that
               took their default); TableDir, StatusDir and Name when set

Examples:
  pelmctl settings
  pelmctl settings --ini /srv/pelm/PelmDp.ini --json
)";

struct Field {
    std::string_view key;
    std::string text;  // UTF-8
    bool isNumber;
};

std::vector<Field> fieldsOf(const pelm::BoardSettings& settings) {
    std::vector<Field> fields;
    for (const pelm::SettingField& field : pelm::settingFields(settings)) {
        if (field.number)
            fields.push_back({field.name, std::to_string(*field.number), true});
        else
            fields.push_back({field.name, terminalText(field.text), false});
    }
    return fields;
}

bool isDefaulted(const pelm::LoadedSettings& loaded, std::string_view key) {
    return std::find(loaded.defaulted.begin(), loaded.defaulted.end(), key) !=
           loaded.defaulted.end();
}

std::string escaped(std::string_view utf8, const char* controlFormat) {
    std::string out;
    for (char c : utf8) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, controlFormat, byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

void printJson(const pelm::LoadedSettings& loaded) {
    QJsonObject object;
    for (const Field& field : fieldsOf(loaded.settings)) {
        const QString key = QString::fromUtf8(field.key.data(), field.key.size());
        object[key] = field.isNumber ? QJsonValue(std::stoi(field.text))
                                     : QJsonValue(QString::fromStdString(field.text));
    }
    QJsonArray defaults;
    for (const std::string& key : loaded.defaulted) defaults.append(QString::fromStdString(key));
    object["defaults"] = defaults;
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << "\n";
}

// What the value means on the board, where that is not plain to see.
std::string meaning(std::string_view key, const pelm::BoardSettings& settings) {
    if (key == "Logo") {
        const pelm::LogoRequest logo = pelm::logoRequest(settings.logo);
        if (logo.kind == pelm::LogoRequest::BuiltIn) return "the built-in large logo";
        if (logo.kind == pelm::LogoRequest::Picture && QFileInfo(logo.picturePath).isFile())
            return "the large logo from this picture, if it reads as one";
        return "large logo hidden";
    }
    if (key == "TableDir") return "the race table file is kept here, not in DataDir";
    if (key == "StatusDir") return "a copy of the board's status for the venue";
    if (key == "Name") return "the screen's name in the control room";
    if (key != "Color") return "";
    const pelm::Rgb rgb = pelm::rgbOf(settings.color);
    return "red " + std::to_string(rgb.red) + ", green " + std::to_string(rgb.green) + ", blue " +
           std::to_string(rgb.blue);
}

void printListing(const pelm::LoadedSettings& loaded, std::string_view fileState) {
    std::cout << fileState << "\n";
    for (const Field& field : fieldsOf(loaded.settings)) {
        std::string line = std::string(field.key) + std::string(10 - field.key.size(), ' ') +
                           escaped(field.text, "\\x%02x");
        std::string notes = meaning(field.key, loaded.settings);
        if (isDefaulted(loaded, field.key)) notes = notes.empty() ? "default" : "default; " + notes;
        std::cout << line << (notes.empty() ? "" : "  (" + notes + ")") << "\n";
    }
}

std::string fileState(const std::string& path, bool readable) {
    std::error_code ignored;
    if (!readable) return "Settings file " + path + " cannot be read: every value is a default";
    if (!std::filesystem::exists(path, ignored)) {
        return "Settings file " + path + " is missing: every value is a default";
    }
    return "Settings file " + path;
}

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("settings takes no arguments");
    std::string path = arguments.option("--ini").value_or(
        pelm::nativePath(pelm::settingsPath(pelm::currentDirectory())));
    auto file = pelm::IniFile::loadForUpdate(path);
    pelm::LoadedSettings loaded = pelm::readBoardSettings(file.value_or(pelm::IniFile{}));
    if (arguments.flag("--json")) {
        printJson(loaded);
    } else {
        printListing(loaded, fileState(path, file.has_value()));
    }
    return kExitOk;
}

const CommandRegistration registration(Command{
    .name = "settings",
    .summary = "show the settings the board would use, and which are defaults",
    .help = kHelp,
    .valueOptions = {"--ini"},
    .flagOptions = {"--json"},
    .run = run,
});

}  // namespace
}  // namespace pelmctl
