#pragma once
// Where running boards leave their local status files: a folder on this PC
// only this user can enter, so nobody else can plant or read a board's
// status. (The venue's folder of status copies, StatusDir, is another:
// venue_status_writer.h.)

#include <QString>
#include <optional>

namespace pelm {

/// "$XDG_RUNTIME_DIR/pelm", else "/tmp/pelm-<uid>". Only the name; nothing
/// is created or checked.
QString localStatusFolderPath();

/// The status folder, created with mode 0700 when missing. Refuses (nullopt,
/// with the reason in `problem`) a folder that is no directory, is owned by
/// another user or that others may enter: under /tmp anyone could have made
/// it first.
std::optional<QString> prepareLocalStatusFolder(QString* problem = nullptr);

/// The status folder for reading (pelmctl): never created, refused exactly
/// as prepareLocalStatusFolder refuses it, so a folder somebody else made cannot
/// pass off forged statuses. Nullopt with an empty `problem` when there is
/// no folder at all.
std::optional<QString> existingLocalStatusFolder(QString* problem = nullptr);

/// A short, stable key for a board's working folder: 16 hex digits of a
/// hash of its absolute, symlink-free path. Same folder, same key.
QString boardKey(const QString& workingFolder);

/// The absolute, symlink-free form of a folder (as given when it does not
/// exist), the form that goes into keys and status files.
QString canonicalFolder(const QString& folder);

}  // namespace pelm
