#include "sqlengine/alias_config.h"

#include <algorithm>
#include <filesystem>

#include "platform/ascii_case.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/ini_file.h"

namespace pelm {
namespace {

Cp932 joined(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += (text.empty() ? "" : ", ") + path;
    return utf8ToCp932(text);
}

IniFile loadConfig(const std::string& path) {
    std::optional<IniFile> file = IniFile::loadForUpdate(path);
    if (!file) throw Error(utf8ToCp932("エンジン設定ファイル '" + path + "' を読めません"));
    return std::move(*file);
}

bool hasSection(const IniFile& file, std::string_view name) {
    const std::vector<std::string> sections = file.sections();
    return std::any_of(sections.begin(), sections.end(),
                       [&](const std::string& section) { return sameAsciiName(section, name); });
}

}  // namespace

const std::vector<std::string>& defaultAliasConfigPaths() {
    static const std::vector<std::string> paths{"dbengine.ini", "/etc/pelm/dbengine.ini"};
    return paths;
}

std::optional<std::string> findAliasConfig(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        std::error_code ignored;
        if (std::filesystem::exists(path, ignored)) return path;
    }
    return std::nullopt;
}

AliasParameters readAlias(std::string_view alias, const std::vector<std::string>& candidates) {
    const std::optional<std::string> path = findAliasConfig(candidates);
    if (!path) {
        throw Error(utf8ToCp932("エンジン設定ファイルが見つかりません: ") + joined(candidates));
    }
    const IniFile file = loadConfig(*path);
    if (!hasSection(file, alias)) {
        throw Error(utf8ToCp932("エイリアス '") + Cp932(std::string(alias)) +
                    utf8ToCp932("' が見つかりません (" + *path + ")"));
    }
    return file.entries(alias);
}

AliasParameters mergeParameters(const AliasParameters& alias, const std::vector<Cp932>& given) {
    AliasParameters merged = alias;
    for (const Cp932& line : given) {
        const size_t equals = line.view().find('=');
        if (equals == std::string::npos) continue;
        const std::string_view name = line.view().substr(0, equals);
        for (auto& [key, value] : merged) {
            if (sameAsciiName(key, name)) value = Cp932(line.bytes().substr(equals + 1));
        }
    }
    return merged;
}

std::optional<Cp932> parameterValue(const AliasParameters& parameters, std::string_view name) {
    for (const auto& [key, value] : parameters) {
        if (sameAsciiName(key, name)) return value;
    }
    return std::nullopt;
}

}  // namespace pelm
