// Queries on a real table file: statement text, result sets read by field
// name, and the messages of what the engine rejects.

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "data_folder.h"

namespace pelm::testing {
namespace {

// A statement is CP932 text: a UTF-8 string or a bare pointer never
// becomes one unnoticed, while a literal checked as ASCII does.
template <typename Text>
concept StatementLine = requires(Query& query, Text text) {
    query.addLine(text);
};
template <typename Text>
concept Runnable = requires(Database& database, Text text) {
    database.run(text);
};

static_assert(StatementLine<Cp932>);
static_assert(StatementLine<const char (&)[7]>);
static_assert(!StatementLine<std::string>);
static_assert(!StatementLine<std::string_view>);
static_assert(!StatementLine<const char*>);
static_assert(Runnable<Cp932>);
static_assert(!Runnable<std::string>);
static_assert(!Runnable<std::string_view>);
static_assert(std::is_same_v<decltype(std::declval<Query&>().fieldText("")), Cp932>);

class QueryTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        database = open();
    }

    void insert(std::string_view start, std::string_view title) {
        Query query(*database, "Qwork");
        query.addLine(Cp932("insert into races.db (start, title) values ('" + std::string(start) +
                            "', '" + std::string(title) + "')"));
        query.execute();
    }

    void select(Query& query, AsciiLiteral statement) {
        query.clear();
        query.addLine(statement);
        query.open();
    }

    std::unique_ptr<Database> database;
};

TEST_F(QueryTest, LinesEndInCrLfAndChangingTheTextClosesTheQuery) {
    Query query(*database, "Qmenu");
    query.addLine("select * from races");
    query.addLine("order by start");
    EXPECT_EQ(query.text().bytes(), "select * from races\r\norder by start\r\n");
    query.open();
    EXPECT_TRUE(query.isOpen());
    query.addLine("");
    EXPECT_FALSE(query.isOpen());
    query.open();
    query.clear();
    EXPECT_FALSE(query.isOpen());
    EXPECT_EQ(query.text().bytes(), "");
}

TEST_F(QueryTest, FieldsReadByNameAsStoredTextFromTheFirstRowOrTheLast) {
    insert("9:00", " Opening  ");
    insert("10:00", "Final");
    Query query(*database, "Qmenu");
    select(query, "select * from races order by start");
    EXPECT_EQ(query.fieldText("TITLE").bytes(), " Opening  ");
    EXPECT_EQ(query.fieldText("Start").bytes(), "9:00");
    query.last();
    EXPECT_EQ(query.fieldText("title").bytes(), "Final");
}

TEST_F(QueryTest, NullAndAnyFieldOfAnEmptyResultReadEmpty) {
    insert("9:00", "x");
    Query query(*database, "Q");
    select(query, "select start, null as missing, 12 as number from races");
    EXPECT_EQ(query.fieldText("missing").bytes(), "");
    EXPECT_EQ(query.fieldText("number").bytes(), "12");
    select(query, "select * from races where title = 'none'");
    EXPECT_EQ(query.fieldText("start").bytes(), "");
    query.last();
    EXPECT_EQ(query.fieldText("title").bytes(), "");
}

TEST_F(QueryTest, AnUnknownFieldOrAClosedQueryNamesQueryAndField) {
    Query query(*database, "Qmenu");
    select(query, "select * from races");
    EXPECT_EQ(errorMessage([&] { query.fieldText("btime"); }),
              cp932("Qmenu: 項目 'btime' が見つかりません"));
    query.close();
    EXPECT_EQ(errorMessage([&] { query.fieldText("start"); }),
              cp932("Qmenu: 項目 'start' が見つかりません"));
}

TEST_F(QueryTest, AnOpenResultStaysReadableWhileTheTableChanges) {
    insert("9:00", "first");
    insert("10:00", "second");
    Query menu(*database, "Qmenu");
    select(menu, "select * from races order by start");
    auto shown = menu.result();
    EXPECT_EQ(runError(*database, "delete from races.db"), "");
    insert("11:00", "later");
    EXPECT_EQ(menu.fieldText("title").bytes(), "first");
    menu.last();
    EXPECT_EQ(menu.fieldText("title").bytes(), "second");
    select(menu, "select * from races");
    EXPECT_EQ(shown->rows.size(), 2u);  // a view holding the old result keeps it
    EXPECT_EQ(menu.result()->rows.size(), 1u);
}

TEST_F(QueryTest, TheEnginesRejectionCarriesItsText) {
    EXPECT_EQ(runError(*database, "delete form races"), "near \"form\": syntax error");
    EXPECT_EQ(runError(*database, "insert into races (start) values ('xx')"),
              cp932("'xx' は時刻ではありません"));
}

TEST_F(QueryTest, ARejectionWithoutTextGivesTheEngineCode) {
    EXPECT_EQ(runError(*database,
                       "create temp trigger refuse before insert on races "
                       "begin select raise(abort, ''); end"),
              "");
    // SQLITE_CONSTRAINT_TRIGGER is 0x0713.
    EXPECT_EQ(runError(*database, "insert into races (start) values ('9:00')"),
              cp932("BDEエラー $0713"));
}

TEST_F(QueryTest, OneStatementAtATime) {
    EXPECT_EQ(runError(*database, "delete from races; drop table races"),
              cp932("SQL 文は一度に一つだけ送れます"));
    EXPECT_EQ(runError(*database, "delete from races; -- and a comment"), "");
    EXPECT_EQ(runError(*database, "  "), cp932("SQL 文がありません"));
    Query query(*database, "Qmenu");
    query.addLine("select * from races");
    query.open();
    EXPECT_EQ(runError(*database, "select * from races"), "");  // selections may be executed
}

TEST_F(QueryTest, OnlySelectionsOpen) {
    insert("9:00", "kept");
    Query query(*database, "Qmenu");
    query.addLine("delete from races");
    EXPECT_THROW(query.open(), Error);
    select(query, "select count(*) as n from races");
    EXPECT_EQ(query.fieldText("n").bytes(), "1");
}

TEST_F(QueryTest, TimesCompareAndSortAsTimesOfDay) {
    for (const char* start : {"23:00:00", "10:00:00", "9:05:07", "09:05:06", " 0:00:00", "9:5"})
        insert(start, start);
    Query query(*database, "Q");
    select(query,
           "select group_concat(title, '|') as titles from (select * from races order by start)");
    EXPECT_EQ(query.fieldText("titles").bytes(), " 0:00:00|9:5|09:05:06|9:05:07|10:00:00|23:00:00");
    select(query, "select count(*) as n from races where start > '9:05:06'");
    EXPECT_EQ(query.fieldText("n").bytes(), "3");
    select(query, "select title from races where start = '0:00'");
    EXPECT_EQ(query.fieldText("title").bytes(), " 0:00:00");
}

TEST_F(QueryTest, NoTimeTextIsStoredInATimeColumnButNullIs) {
    for (const char* notATime : {"", "24:00:00", "12:60", "noon", "9:00 x"}) {
        EXPECT_EQ(runError(*database,
                           "insert into races (start) values ('" + std::string(notATime) + "')"),
                  "'" + std::string(notATime) + cp932("' は時刻ではありません"));
    }
    EXPECT_EQ(runError(*database, "insert into races (title) values ('no start')"), "");
}

TEST_F(QueryTest, ATransactionCommitsWhatWasDoneEvenWhenARefreshFails) {
    auto second = open();
    Query count(*second, "Q");
    {
        Database::CommittingTransaction transaction(*database);
        insert("9:00", "before the failure");
        EXPECT_NE(runError(*database, "insert into races (start) values ('xx')"), "");
        Database::CommittingTransaction inner(*database);  // joins the open one
        inner.commit();
    }
    select(count, "select count(*) as n from races");
    EXPECT_EQ(count.fieldText("n").bytes(), "1");
}

TEST_F(QueryTest, AnotherConnectionSeesTheTableOnlyWhenCommitted) {
    auto second = open();
    Query count(*second, "Q");
    Database::CommittingTransaction transaction(*database);
    insert("9:00", "pending");
    select(count, "select count(*) as n from races");
    EXPECT_EQ(count.fieldText("n").bytes(), "0");
    transaction.commit();
    select(count, "select count(*) as n from races");
    EXPECT_EQ(count.fieldText("n").bytes(), "1");
}

TEST_F(QueryTest, ARefreshGoesThroughAJournalOnDisk) {
    // A journal kept in memory would leave a half-written table file behind
    // a crash in mid-commit; one on disk is rolled back at the next open.
    Database::CommittingTransaction transaction(*database);
    insert("9:00", "a");
    transaction.commit();
    EXPECT_TRUE(std::filesystem::exists(data + "/races.db-journal"));
}

}  // namespace
}  // namespace pelm::testing
