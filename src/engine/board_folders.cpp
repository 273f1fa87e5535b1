#include "engine/board_folders.h"

#include <filesystem>

#include "platform/folder_kind.h"
#include "platform/paths.h"

namespace pelm {
namespace {

// Long enough for any real folder, short enough that three of them leave
// the status file its room.
constexpr int kMaxPathChars = 512;

FolderUse folderUse(const QString& role, const Cp932& boardPath, const QString& note = {}) {
    std::error_code noCurrentFolder;
    const std::filesystem::path given(nativePath(boardPath));
    const std::filesystem::path whole = std::filesystem::absolute(given, noCurrentFolder);
    const std::string native = (noCurrentFolder ? given : whole).lexically_normal().string();
    const FolderKind kind = folderKind(native);
    return {role, cutToFit(QString::fromStdString(native), kMaxPathChars),
            QString::fromStdString(kind.fileSystem), kind.mayStall, note};
}

}  // namespace

QList<FolderUse> boardFolders(const BoardSettings& settings, const RaceTablePlace& table) {
    QList<FolderUse> folders{folderUse("data", settings.dataDir)};
    const QString instead = QString::fromStdString(table.instead.value_or(""));
    folders.append(folderUse("race table", table.folder,
                             instead.isEmpty() ? QString() : "kept here instead: " + instead));
    if (!settings.statusDir.empty()) folders.append(folderUse("status copies", settings.statusDir));
    return folders;
}

}  // namespace pelm
