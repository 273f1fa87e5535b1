// Whose word a copy is: a venue's copies from looks the tests make up, some
// signed, some not. With the venue key only a signed copy speaks for its
// board; a copy that could not be read keeps its board's last word for the
// patience, no more; the list of boards is used whole or said unusable.
// (Copies of another user and copies in conflict: serve_forgery_test.py.)

#include <gtest/gtest.h>

#include "venue/venue_watch.h"

namespace pelm::venue {
namespace {

constexpr qint64 kPatienceMs = 10000;
constexpr qint64 kWallMs = 1'796'632'800'000;
constexpr uid_t kRoot = 0;
constexpr uid_t kNobody = 65534;

struct Written {
    std::string name;
    BoardStatus status;
    uid_t owner = kRoot;
    std::optional<VenueKey> signedWith = std::nullopt;
};

VenueKey keyOf(char fill) {
    return VenueKey{QByteArray(kVenueKeyBytes, fill)};
}

class Claims : public ::testing::Test {
protected:
    BoardStatus board(qint64 pid = 7, const QString& host = "pc-1") const {
        BoardStatus status;
        status.pid = pid;
        status.state = BoardState::Running;
        status.host = host;
        status.name = host == "pc-1" ? QString::fromUtf8("パドック") : QString();
        status.workingFolder = "/home/board/pelm";
        status.writtenAt = QDateTime::fromMSecsSinceEpoch(wall(), Qt::UTC);
        return status;
    }

    // One look a second; `copies` says what each copy holds at that second.
    void lookFor(int seconds, const std::function<std::vector<Written>()>& copies) {
        for (int second = 0; second < seconds; ++second, ++now_)
            watch_->take(look(copies()), now_ * 1000, wall());
    }

    FolderLook look(const std::vector<Written>& copies) const {
        FolderLook found;
        found.listed = found.complete = true;
        for (const Written& copy : copies) {
            QByteArray bytes = statusJson(copy.status);
            if (copy.signedWith) bytes = signedCopy(bytes, *copy.signedWith);
            found.names.push_back(copy.name);
            found.copies.push_back(
                {copy.name, checkCopy(bytes.toStdString(), key_), copy.owner, wall()});
        }
        return found;
    }

    VenueView view() const { return watch_->view(now_ * 1000, wall()); }
    qint64 wall() const { return kWallMs + now_ * 1000; }

    void keyed(const VenueKey& key) {
        key_ = key;
        watch_ = std::make_unique<VenueWatch>("/venue", kPatienceMs, true);
    }

    std::unique_ptr<VenueWatch> watch_ = std::make_unique<VenueWatch>("/venue", kPatienceMs);
    std::optional<VenueKey> key_;
    qint64 now_ = 0;
};

TEST_F(Claims, WithAVenueKeyOnlyCopiesSignedWithItSpeakAndAReplayIsForged) {
    keyed(keyOf('k'));
    std::vector<BoardStatus> sent;
    lookFor(3, [&] {
        sent.push_back(board());
        return std::vector<Written>{{"pc-1-key.json", sent.back(), kRoot, keyOf('k')},
                                    {"pc-2-key.json", board(8, "pc-2")},
                                    {"pc-3-key.json", board(9, "pc-3"), kRoot, keyOf('x')}};
    });
    VenueView seen = view();
    ASSERT_EQ(seen.boards.size(), 3u);
    EXPECT_EQ(seen.boards[0].forgery, Forgery::Unsigned);
    EXPECT_EQ(seen.boards[0].name, "pc-2");
    EXPECT_EQ(seen.boards[1].forgery, Forgery::BadSignature);
    EXPECT_EQ(seen.boards[2].verdict, Verdict::Fine);
    EXPECT_EQ(seen.boards[2].name, QString::fromUtf8("パドック"));

    lookFor(1, [&] {  // the board gone, its second copy shown again
        return std::vector<Written>{{"pc-1-key.json", sent[1], kRoot, keyOf('k')}};
    });
    seen = view();
    ASSERT_EQ(seen.boards.size(), 1u);
    EXPECT_EQ(seen.boards[0].forgery, Forgery::Replayed);
}

TEST_F(Claims, ACopyListedButNotReadKeepsItsBoardUntilThePatienceRunsOut) {
    lookFor(3, [&] { return std::vector<Written>{{"pc-1-key.json", board()}}; });
    const auto failedRead = [&](int seconds) {
        for (int second = 0; second < seconds; ++second, ++now_) {
            FolderLook found = look({});
            found.names = {"pc-1-key.json"};
            found.failed = {"pc-1-key.json"};
            watch_->take(std::move(found), now_ * 1000, wall());
        }
    };
    failedRead(3);
    VenueView seen = view();
    ASSERT_EQ(seen.boards.size(), 1u);
    EXPECT_EQ(seen.boards[0].verdict, Verdict::Fine) << "its last word, not \"checking\"";
    EXPECT_NEAR(*seen.boards[0].secondsNotRead, 4, 0.001) << "read last a second before";
    EXPECT_EQ(seen.copies.notRead, 1);
    EXPECT_EQ(seen.unanswered, QStringList{"pc-1-key.json"});
    failedRead(8);
    EXPECT_EQ(view().boards[0].verdict, Verdict::NotAnswering);
    lookFor(1, [&] { return std::vector<Written>{{"pc-1-key.json", board()}}; });
    EXPECT_EQ(view().boards[0].verdict, Verdict::Fine);
    EXPECT_FALSE(view().boards[0].secondsNotRead);
}

TEST(ExpectedBoardsList, IsUsedWholeOrSaidToBeUnusable) {
    using State = ExpectedFile::State;
    const auto file = [](State state, std::string bytes = {}) {
        ExpectedFile expected;
        expected.state = state;
        expected.bytes = std::move(bytes);
        expected.facts.kind = PathFacts::Kind::Fifo;
        expected.facts.owner = kNobody;
        return expected;
    };
    std::string many;
    for (int line = 0; line < kMaxExpectedBoards + 5; ++line)
        many += "b" + std::to_string(line) + "\n";
    const std::tuple<ExpectedFile, std::size_t, const char*> cases[] = {
        {file(State::Absent), 0, ""},
        {file(State::Read, "# boards\nパドック root\n記者室 B\n\n  ゴール  \nゴール\n"), 3, ""},
        {file(State::TooLong), 0, "expected-boards.txt is longer than 256 KiB: not read"},
        {file(State::NotAFile), 0, "expected-boards.txt is a FIFO: not read"},
        {file(State::Unreadable), 0, "expected-boards.txt cannot be read"},
        {file(State::Untrusted), 0,
         "expected-boards.txt belongs to nobody, not to the folder's owner, this reader's user or "
         "root: not read"},
        {file(State::Read, "パドック\n\xe8\xa8\n"), 0,
         "expected-boards.txt is not UTF-8: not read"},
        {file(State::Read, many), kMaxExpectedBoards,
         "expected-boards.txt: 5 lines left out (more than 1024 boards, or a name longer than 64 "
         "characters), the first: b1024"},
    };
    for (const auto& [expectedFile, count, problem] : cases) {
        const ExpectedBoards expected = expectedBoards(expectedFile);
        EXPECT_EQ(expected.boards.size(), count) << problem;
        EXPECT_EQ(expected.problem, QString::fromUtf8(problem));
    }
    const ExpectedBoards listed = expectedBoards(std::get<0>(cases[1]));
    EXPECT_EQ(listed.boards[0].name, QString::fromUtf8("パドック"));
    EXPECT_EQ(listed.boards[0].user, std::optional<uid_t>(kRoot));
    EXPECT_EQ(listed.boards[1].name, QString::fromUtf8("記者室 B")) << "B names no user";
    EXPECT_FALSE(listed.boards[1].user);
    EXPECT_EQ(listed.boards[2].name, QString::fromUtf8("ゴール"));
}

}  // namespace
}  // namespace pelm::venue
