// Statements that differ only in their quoted values share one compiled
// form. What that may never change: the rows a statement leaves and the
// error it raises, compared here with the same statement compiled as
// written; and where a quoted text is no value, it must stay in the text.

#include "data_folder.h"
#include "sqlengine/engine_error.h"
#include "sqlengine/literal_shape.h"
#include "sqlengine/statement.h"

namespace pelm::testing {
namespace {

struct Lifted {
    const char* name;
    std::string statement;
    std::optional<std::string> shape;  // nothing: not lifted
    std::vector<std::string> values;
};

void PrintTo(const Lifted& lifted, std::ostream* out) {
    *out << lifted.name;
}

class LiftingValues : public ::testing::TestWithParam<Lifted> {};

TEST_P(LiftingValues, TakesOutOnlyValues) {
    const Lifted& lifted = GetParam();
    const std::optional<LiteralShape> shape = liftLiterals(lifted.statement);
    ASSERT_EQ(shape.has_value(), lifted.shape.has_value());
    if (!shape) return;
    EXPECT_EQ(shape->text, *lifted.shape);
    EXPECT_EQ(shape->values, lifted.values);
}

INSTANTIATE_TEST_SUITE_P(
    StatementReuse, LiftingValues,
    ::testing::Values(
        Lifted{"DoubledQuotes",
               "INSERT INTO t (a,b)values(\r\n'O''Brien',\r\n'-')\r\n",
               "INSERT INTO t (a,b)values(\r\n?,\r\n?)\r\n",
               {"O'Brien", "-"}},
        Lifted{"EmptyValue", "delete from t where a=''", "delete from t where a=?", {""}},
        Lifted{"Cp932Bytes", "update t set a='\x83\x41\x5c'", "update t set a=?", {"\x83\x41\x5c"}},
        Lifted{"QuotesInsideNamesAndComments",
               "/* it's */ insert into \"o'k\" values('v') -- don't\n",
               "/* it's */ insert into \"o'k\" values(?) -- don't\n",
               {"v"}},
        Lifted{"BracketAndBacktickNames",
               "replace into [a'b] (`c'd`) values ('e')",
               "replace into [a'b] (`c'd`) values (?)",
               {"e"}},
        Lifted{"BlobsStay",
               "insert into t values (x'41', X'42', 'c')",
               "insert into t values (x'41', X'42', ?)",
               {"c"}},
        Lifted{"ANameEndingInX",
               "insert into t values (max'a')",
               "insert into t values (max?)",
               {"a"}},
        Lifted{"UnclosedQuoteLeftToTheEngine",
               "insert into t values ('a', 'b",
               "insert into t values (?, 'b",
               {"a"}},
        Lifted{"ASelection", "select 'a' from t", std::nullopt, {}},
        Lifted{"ATableDefinition", "create table t (a default 'x')", std::nullopt, {}},
        Lifted{"APragma", "PRAGMA journal_mode='wal'", std::nullopt, {}},
        Lifted{"APositionalParameter", "insert into t values (?, 'a')", std::nullopt, {}},
        Lifted{"ANamedParameter", "insert into t values (:v, 'a')", std::nullopt, {}},
        Lifted{"AColonInsideAValue",
               "insert into t values ('10:00:00')",
               "insert into t values (?)",
               {"10:00:00"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The statements of a story run on two databases: one through the engine's
// reuse, one compiled as written each time.
struct Story {
    const char* name;
    std::vector<std::string> statements;
};

void PrintTo(const Story& story, std::ostream* out) {
    *out << story.name;
}

class ReuseChangesNothing : public ::testing::TestWithParam<Story> {
protected:
    static void createRaces(Database& database) {
        Statement(database, kRacesDefinition.view()).run();
    }

    template <typename Run>
    static std::string outcome(Run run) {
        try {
            run();
        } catch (const EngineError& error) {
            return std::string(error.what()) + " / " + std::to_string(error.code());
        } catch (const Error& error) {
            return error.what();
        }
        return "done";
    }

    static std::vector<ResultSet::Row> rows(Database& database) {
        return Statement(database,
                         "select rowid, start, typeof(start), title, typeof(title) "
                         "from races")
            .readAll()
            .rows;
    }
};

TEST_P(ReuseChangesNothing, RowsAndErrorsAsWritten) {
    Database reused = Database::inMemory({"races"});
    Database written = Database::inMemory({"races"});
    createRaces(reused);
    createRaces(written);
    for (const std::string& statement : GetParam().statements) {
        SCOPED_TRACE(statement);
        EXPECT_EQ(outcome([&] { reused.run(Cp932(statement)); }),
                  outcome([&] { Statement(written, statement).run(); }));
        EXPECT_EQ(rows(reused), rows(written));
    }
}

INSTANTIATE_TEST_SUITE_P(
    StatementReuse, ReuseChangesNothing,
    ::testing::Values(
        Story{"RowsThatDifferInValues",
              {"insert into races.db (start, title) values ('10:00:00', 'A')",
               "insert into races.db (start, title) values ('9:05:07', 'O''Brien')",
               "insert into races.db (start, title) values ('11:00:00', '')"}},
        Story{"ARefusedValueThenAGoodOne",
              {"insert into races (start, title) values ('late', 'A')",
               "insert into races (start, title) values ('10:00:00', 'B')"}},
        Story{"NumbersAndBlobsBesideTexts",
              {"insert into races (start, title) values ('10:00:00', 12)",
               "insert into races (start, title) values ('10:00:00', x'4142')"}},
        Story{"AQuotedTableName", {"insert into 'races' (start, title) values ('10:00:00', 'A')"}},
        Story{"AQuotedColumnName", {"insert into races ('start', title) values ('10:00:00', 'A')"}},
        Story{"TwoStatementsInOneText",
              {"insert into races (start) values ('10:00:00'); delete from races"}},
        Story{"ANoSuchTable", {"insert into nowhere (a) values ('x')"}},
        Story{"AnUpdateAndADelete",
              {"update races set title = 'Z' where start = '10:00:00'",
               "delete from races where title = 'Z'"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The version of a table file says whether anybody else wrote it, or put
// another file in its place.
class TableFileVersion : public DataFolderTest {};

TEST_F(TableFileVersion, MovesOnlyForOthersAndIsLostWithTheFile) {
    const std::unique_ptr<Database> board = open();
    const std::optional<std::int64_t> first = board->tableFileVersion("RACES");
    ASSERT_TRUE(first);
    runError(*board, "insert into races (start) values ('10:00:00')");
    EXPECT_EQ(board->tableFileVersion("races"), first);

    const std::unique_ptr<Database> other = open();
    runError(*other, "insert into races (start) values ('11:00:00')");
    const std::optional<std::int64_t> second = board->tableFileVersion("races");
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(board->tableFileVersion("races"), second);

    EXPECT_FALSE(board->tableFileVersion("nowhere"));
    const std::string fresh = temp / "fresh";
    std::filesystem::create_directory(fresh);
    createTableFile(fresh, "races", kRacesDefinition);
    std::filesystem::rename(fresh + "/races.db", data + "/races.db");
    EXPECT_FALSE(board->tableFileVersion("races"));
    std::filesystem::remove(data + "/races.db");
    EXPECT_FALSE(board->tableFileVersion("races"));
}

// The stamp tells the same without a lock, from the bytes every commit
// changes; a file whose commits leave them alone has none.
TEST_F(TableFileVersion, TheStampMovesWithEveryCommitAndIsLostWithTheFile) {
    const std::unique_ptr<Database> board = open();
    const std::optional<Database::FileStamp> first = board->tableFileStamp("RACES");
    ASSERT_TRUE(first);
    EXPECT_EQ(board->tableFileStamp("races"), first);
    runError(*board, "insert into races (start) values ('10:00:00')");
    const std::optional<Database::FileStamp> own = board->tableFileStamp("races");
    EXPECT_NE(own, first);

    std::unique_ptr<Database> other = open();
    runError(*other, "delete from races");
    EXPECT_NE(board->tableFileStamp("races"), own);
    EXPECT_FALSE(board->tableFileStamp("nowhere"));

    EXPECT_EQ(runError(*other, "PRAGMA races.journal_mode = WAL"), "");
    EXPECT_FALSE(board->tableFileStamp("races"));
    other.reset();
    std::filesystem::remove(data + "/races.db");
    EXPECT_FALSE(board->tableFileStamp("races"));
}

}  // namespace
}  // namespace pelm::testing
