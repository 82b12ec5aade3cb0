// Conformance of the engine's reading of batch text: delimited
// identifiers, string literals, comments, variables and the @@ functions,
// checked through whole batches.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceLexing = EngineFixture;

TEST_F(ConformanceLexing, DelimitedIdentifiersNameTablesAndColumnsWithBlanksAndKeywords)
{
    exec("create table [Order Items] ([Key ID] int, \"Desc\" varchar(10), [select] int)\n"
         "insert into [Order Items] ([Key ID], \"Desc\", [select]) values (1, 'first', 7)");
    ResultSet rs = rows("select [Key ID], \"Desc\", [select] from [Order Items]");
    ASSERT_EQ(rs.columns.size(), 3u);
    EXPECT_EQ(rs.columns[0].name, "Key ID");
    EXPECT_EQ(rs.columns[1].name, "Desc");
    EXPECT_EQ(rs.columns[2].name, "select");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 1);
    EXPECT_EQ(rs.rows[0][1].toString(), "first");
    EXPECT_EQ(rs.rows[0][2].toInt64(), 7);
    // A closing bracket inside a bracketed name is written twice.
    EXPECT_EQ(rows("select 1 as [a]]b]").columns.at(0).name, "a]b");
    // An alias may be a quoted identifier or a string literal.
    EXPECT_EQ(rows("select 1 as \"Two Words\"").columns.at(0).name, "Two Words");
    EXPECT_EQ(rows("select 1 as 'Literal Alias'").columns.at(0).name, "Literal Alias");
}

struct LiteralCase {
    const char* sql;
    const char* expected;
};

class ConformanceLexingLiterals : public EngineFixture,
                                  public ::testing::WithParamInterface<LiteralCase> {};

TEST_P(ConformanceLexingLiterals, ReadsAsSqlServerDoes)
{
    EXPECT_EQ(text(GetParam().sql), GetParam().expected) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, ConformanceLexingLiterals,
    ::testing::Values(
        LiteralCase{"select 'It''s'", "It's"},
        LiteralCase{"select ''''", "'"},
        LiteralCase{"select N'O''Brien'", "O'Brien"},
        LiteralCase{"select N'中文'", "中文"},
        LiteralCase{"select '中文'", "中文"},
        LiteralCase{"select 'a\"b'", "a\"b"},
        LiteralCase{"select '--not a comment'", "--not a comment"},
        LiteralCase{"select '/* nor this */'", "/* nor this */"},
        LiteralCase{"select 'line1\r\nline2'", "line1\r\nline2"},
        LiteralCase{"select len('')", "0"},
        LiteralCase{"select 1 -- the rest of the line is a comment\n + 2", "3"},
        LiteralCase{"select 1 /* a comment\n over two lines */ + 2", "3"},
        LiteralCase{"-- a comment before the statement\nselect 5", "5"},
        LiteralCase{"select 1 /* outer /* nested */ still outer */ + 1", "2"},
        LiteralCase{"select 10/*no blank*/+1", "11"},
        LiteralCase{"SeLeCt 4", "4"}));

TEST_F(ConformanceLexing, EmptyStringIsNotNull)
{
    EXPECT_EQ(text("select case when '' is null then 'null' else 'empty' end"), "empty");
}

TEST_F(ConformanceLexing, VariablesWithDigitsAndUnderscoresInTheirNames)
{
    EXPECT_EQ(text("declare @a int, @b_2 int, @_c int\n"
                   "set @a = 1\n"
                   "set @b_2 = @a + 1\n"
                   "set @_c = @b_2 * 10\n"
                   "select @_c"),
              "20");
}

TEST_F(ConformanceLexing, VersionNamesSqlServer2008)
{
    ResultSet rs = rows("select @@Version as VersionName");
    ASSERT_EQ(rs.columns.size(), 1u);
    EXPECT_EQ(rs.columns[0].name, "VersionName");
    ASSERT_EQ(rs.rows.size(), 1u);
    std::string v = rs.rows[0][0].toString();
    EXPECT_NE(v.find("10."), std::string::npos) << v;
    EXPECT_EQ(text("select case when @@VERSION like '%10.%' then 1 else 0 end"), "1");
}

TEST_F(ConformanceLexing, RowCountAfterSelectInsertUpdateAndDelete)
{
    exec("create table t (a int)");
    EXPECT_EQ(text("insert into t values (1)\n"
                   "insert into t select a + 1 from t\n"
                   "insert into t select a + 2 from t\n"
                   "select @@ROWCOUNT"),
              "2");
    // A SELECT sets the count of the rows it returned.
    BatchResult r = run("select a from t\nselect @@rowcount");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows.size(), 4u);
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toInt64(), 4);

    EXPECT_EQ(text("update t set a = a * 10 where a >= 3\nselect @@ROWCOUNT"), "2");
    EXPECT_EQ(text("update t set a = 0 where a = 999\nselect @@ROWCOUNT"), "0");
    EXPECT_EQ(text("delete from t where a < 10\nselect @@ROWCOUNT"), "2");
}

}  // namespace
