#include "venue/expected_boards.h"

#include <pwd.h>

#include <QRegularExpression>
#include <QSet>

namespace pelm::venue {
namespace {

QString problemOf(const ExpectedFile& file) {
    const QString list = QString::fromLatin1(kExpectedBoardsName);
    using State = ExpectedFile::State;
    switch (file.state) {
        case State::TooLong:
            return QStringLiteral("%1 is longer than %2 KiB: not read")
                .arg(list)
                .arg(kMaxExpectedBytes / 1024);
        case State::NotAFile:
            return QStringLiteral("%1 is %2: not read")
                .arg(list, QString::fromStdString(describeForeign(file.facts, file.facts.owner)));
        case State::Unreadable:
            return QStringLiteral("%1 cannot be read").arg(list);
        case State::Untrusted:
            return QStringLiteral(
                       "%1 belongs to %2, not to the folder's owner, this reader's user "
                       "or root: not read")
                .arg(list, QString::fromStdString(userName(file.facts.owner)));
        default:
            return {};
    }
}

std::optional<uid_t> userNamed(const QString& name) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[1024];
    const QByteArray local = name.toLocal8Bit();
    if (getpwnam_r(local.constData(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return std::nullopt;
    return found->pw_uid;
}

// A line's board: the whole line, or all but a last word that names a user.
ExpectedBoard boardOf(const QString& line) {
    static const QRegularExpression lastWord(QStringLiteral("\\s+(\\S+)$"));
    const QRegularExpressionMatch match = lastWord.match(line);
    if (match.hasMatch()) {
        if (const auto user = userNamed(match.captured(1)))
            return {line.left(match.capturedStart()), user, match.captured(1)};
    }
    return {line, std::nullopt, {}};
}

}  // namespace

ExpectedBoards expectedBoards(const ExpectedFile& file) {
    ExpectedBoards expected;
    expected.problem = problemOf(file);
    if (file.state != ExpectedFile::State::Read) return expected;
    const QByteArray bytes = QByteArray::fromStdString(file.bytes);
    if (!bytes.isValidUtf8()) {
        expected.problem = QStringLiteral("%1 is not UTF-8: not read").arg(kExpectedBoardsName);
        return expected;
    }
    QStringList leftOut;
    QSet<QString> names;
    for (const QString& raw : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const ExpectedBoard board = boardOf(line);
        if (names.contains(board.name)) continue;
        names.insert(board.name);
        if (board.name.size() > kMaxNameChars || expected.boards.size() >= kMaxExpectedBoards) {
            leftOut.append(board.name.left(kMaxNameChars));
            continue;
        }
        expected.boards.push_back(board);
    }
    if (!leftOut.isEmpty())
        expected.problem = QStringLiteral(
                               "%1: %2 lines left out (more than %3 boards, or a name "
                               "longer than %4 characters), the first: %5")
                               .arg(kExpectedBoardsName)
                               .arg(leftOut.size())
                               .arg(kMaxExpectedBoards)
                               .arg(kMaxNameChars)
                               .arg(leftOut.first());
    return expected;
}

const ExpectedBoard* listedBoard(const ExpectedBoards& expected, const BoardStatus& status) {
    const QString name = status.name.isEmpty() ? status.host : status.name;
    for (const ExpectedBoard& board : expected.boards) {
        if (board.name == name || board.name == status.host) return &board;
    }
    return nullptr;
}

}  // namespace pelm::venue
