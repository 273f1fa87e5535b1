// The rewrite of table file names: only the bare form of a known table,
// never anything SQLite reads as quoted text, an identifier or a comment.

#include "sqlengine/table_names.h"

#include <gtest/gtest.h>

namespace pelm {
namespace {

std::string plain(std::string_view statement) {
    return withPlainTableNames(statement, TableNames{"rmenutxt", "races"});
}

TEST(TableNames, FileNamesOfKnownTablesBecomeTableNames) {
    EXPECT_EQ(plain("delete from rmenutxt.db\r\n"), "delete from rmenutxt\r\n");
    EXPECT_EQ(plain("select * from RMENUTXT.DB,races.Db where 1"),
              "select * from RMENUTXT,races where 1");
    EXPECT_EQ(plain("insert into rmenutxt.db(btime)"), "insert into rmenutxt(btime)");
}

TEST(TableNames, OtherWordsStayAsWritten) {
    for (const char* same :
         {"select * from other.db", "select * from xrmenutxt.db", "select * from rmenutxt.dbx",
          "select * from rmenutxt. db", "select rmenutxt.db2 from t", "select 1.db",
          "select :rmenutxt.db", "select * from \"rmenutxt.db\"", "select * from [rmenutxt.db]",
          "select * from `rmenutxt.db`"}) {
        EXPECT_EQ(plain(same), same);
    }
}

TEST(TableNames, QuotedTextAndCommentsAreNeverTouched) {
    EXPECT_EQ(plain("values('rmenutxt.db','it''s rmenutxt.db')"),
              "values('rmenutxt.db','it''s rmenutxt.db')");
    EXPECT_EQ(plain("-- rmenutxt.db it's\nfrom rmenutxt.db"), "-- rmenutxt.db it's\nfrom rmenutxt");
    EXPECT_EQ(plain("/* it's rmenutxt.db */ rmenutxt.db"), "/* it's rmenutxt.db */ rmenutxt");
    EXPECT_EQ(plain("'unterminated rmenutxt.db"), "'unterminated rmenutxt.db");
}

// SQLite reads bytes, not CP932 characters: a lead byte before a quote does
// not swallow it, so the quote ends the text for the rewrite as for SQLite.
TEST(TableNames, QuotesAreFoundAsSQLiteFindsThem) {
    EXPECT_EQ(plain("values('\x81') from rmenutxt.db"), "values('\x81') from rmenutxt");
    EXPECT_EQ(plain("select \x95\x5c from rmenutxt.db"), "select \x95\x5c from rmenutxt");
}

}  // namespace
}  // namespace pelm
