#include "engine/race_table_place.h"

#include <QFile>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/folder_kind.h"
#include "platform/local_status_folder.h"
#include "platform/paths.h"

namespace pelm {
namespace {

std::string userStateFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return state;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/state";
}

}  // namespace

std::optional<std::string> stallingTableFolder(const Cp932& folder) {
    const std::string native = nativePath(folder);
    const FolderKind kind = folderKind(native);
    if (!kind.mayStall) return std::nullopt;
    return "'" + native + "' lies on a " + kind.fileSystem + " file system, which may stall";
}

Cp932 ownTableFolder(const Cp932& boardFolder) {
    if (!stallingTableFolder(boardFolder)) return boardFolder + cp932Ascii("\\table");
    const QString key = boardKey(QFile::decodeName(nativePath(boardFolder).c_str()));
    return utf8ToCp932(userStateFolder() + "/pelm/table-" + key.toStdString());
}

RaceTablePlace raceTablePlace(const BoardSettings& settings, const Cp932& boardFolder) {
    std::optional<std::string> why = stallingTableFolder(settings.raceTableFolder());
    if (!why) return {settings.raceTableFolder(), std::nullopt};
    return {ownTableFolder(boardFolder), std::move(why)};
}

}  // namespace pelm
