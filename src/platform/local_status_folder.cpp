#include "platform/local_status_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace pelm {
namespace {

bool setProblem(QString* problem, const QString& text) {
    if (problem) *problem = text;
    return false;
}

bool isPrivateFolder(const QByteArray& path, QString* problem) {
    struct stat status;
    if (lstat(path.constData(), &status) != 0)
        return setProblem(
            problem, QString::fromUtf8(path) + ": " + QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(status.st_mode))
        return setProblem(problem, QString::fromUtf8(path) + " is no folder");
    if (status.st_uid != getuid())
        return setProblem(problem, QString::fromUtf8(path) + " belongs to another user");
    if ((status.st_mode & 077) != 0)
        return setProblem(problem, QString::fromUtf8(path) + " is open to other users");
    return true;
}

}  // namespace

QString localStatusFolderPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(QString::fromLocal8Bit(runtime)))
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/pelm");
    return QStringLiteral("/tmp/pelm-%1").arg(getuid());
}

std::optional<QString> prepareLocalStatusFolder(QString* problem) {
    const QString folder = localStatusFolderPath();
    const QByteArray path = QFile::encodeName(folder);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        setProblem(problem, folder + ": " + QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    if (!isPrivateFolder(path, problem)) return std::nullopt;
    return folder;
}

std::optional<QString> existingLocalStatusFolder(QString* problem) {
    const QString folder = localStatusFolderPath();
    const QByteArray path = QFile::encodeName(folder);
    struct stat status;
    if (lstat(path.constData(), &status) != 0 && errno == ENOENT) {
        if (problem) problem->clear();
        return std::nullopt;
    }
    if (!isPrivateFolder(path, problem)) return std::nullopt;
    return folder;
}

QString canonicalFolder(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

QString boardKey(const QString& workingFolder) {
    const QByteArray hash = QCryptographicHash::hash(canonicalFolder(workingFolder).toUtf8(),
                                                     QCryptographicHash::Sha256);
    return QString::fromLatin1(hash.toHex().left(16));
}

}  // namespace pelm
