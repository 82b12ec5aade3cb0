// Conformance of text comparison under the databases' case-insensitive
// Chinese collation: comparisons, IN, DISTINCT, GROUP BY, ORDER BY, keys,
// trailing blanks, LIKE patterns and the pinyin order of Chinese text.
#include "conformance_fixture.h"

#include <algorithm>
#include <cctype>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

struct PredicateCase {
    const char* predicate;
    bool expected;
};

std::ostream& operator<<(std::ostream& os, const PredicateCase& c) { return os << c.predicate; }

class ConformanceCollationPredicates : public EngineFixture,
                                       public ::testing::WithParamInterface<PredicateCase> {};

TEST_P(ConformanceCollationPredicates, HoldsAsInSqlServer)
{
    std::string sql = std::string("select case when ") + GetParam().predicate + " then 1 else 0 end";
    EXPECT_EQ(text(sql), GetParam().expected ? "1" : "0") << sql;
}

INSTANTIATE_TEST_SUITE_P(
    ConformanceCaseInsensitive, ConformanceCollationPredicates,
    ::testing::Values(
        PredicateCase{"'abc' = 'ABC'", true},
        PredicateCase{"'abc' <> 'ABC'", false},
        PredicateCase{"'abc' <> 'abd'", true},
        PredicateCase{"'a' < 'B'", true},
        PredicateCase{"'B' > 'a'", true},
        PredicateCase{"'Z' < 'a'", false},
        PredicateCase{"'ABC' in ('x', 'abc')", true},
        PredicateCase{"'ABC' not in ('x', 'abc')", false},
        PredicateCase{"'ABC' like 'a%'", true},
        PredicateCase{"'vqtcw_SAMPLE' = 'VQTCW_' + 'Sample'", true},
        PredicateCase{"N'Abc' = 'aBC'", true}));

INSTANTIATE_TEST_SUITE_P(
    ConformanceTrailingBlanks, ConformanceCollationPredicates,
    ::testing::Values(
        PredicateCase{"'abc' = 'abc   '", true},
        PredicateCase{"'abc   ' = 'ABC'", true},
        PredicateCase{"'abc' < 'abc '", false},
        PredicateCase{"'abc' in ('abc  ')", true},
        PredicateCase{"' abc' = 'abc'", false},
        // Blanks at the end of the pattern must be matched ...
        PredicateCase{"'abc' like 'abc '", false},
        PredicateCase{"'abc ' like 'abc '", true},
        // ... while those at the end of the tested text are ignored.
        PredicateCase{"'abc  ' like 'abc'", true}));

INSTANTIATE_TEST_SUITE_P(
    ConformanceLike, ConformanceCollationPredicates,
    ::testing::Values(
        PredicateCase{"'abc' like 'a%'", true},
        PredicateCase{"'abc' like '%c'", true},
        PredicateCase{"'abc' like '%b%'", true},
        PredicateCase{"'abc' like '%'", true},
        PredicateCase{"'' like '%'", true},
        PredicateCase{"'abc' like 'b%'", false},
        PredicateCase{"'abc' like 'a_c'", true},
        PredicateCase{"'abc' like 'a_'", false},
        PredicateCase{"'abc' like '___'", true},
        PredicateCase{"'abc' like '____'", false},
        PredicateCase{"'abc' like '[ab]bc'", true},
        PredicateCase{"'cbc' like '[ab]bc'", false},
        PredicateCase{"'cbc' like '[^ab]bc'", true},
        PredicateCase{"'abc' like '[^ab]bc'", false},
        PredicateCase{"'m1' like '[a-z]1'", true},
        PredicateCase{"'M1' like '[a-z]1'", true},
        PredicateCase{"'51' like '[a-z]1'", false},
        PredicateCase{"'51' like '[0-9]1'", true},
        PredicateCase{"'a_b' like 'a[_]b'", true},
        PredicateCase{"'axb' like 'a[_]b'", false},
        PredicateCase{"'axb' like 'a_b'", true},
        PredicateCase{"'VQTCW_Sample' like 'VQTCW[_]%'", true},
        PredicateCase{"'VQTCWXSample' like 'VQTCW[_]%'", false},
        PredicateCase{"'VQTCWXSample' like 'VQTCW_%'", true},
        PredicateCase{"'50%' like '50[%]'", true},
        PredicateCase{"'500' like '50[%]'", false},
        PredicateCase{"'a.b' like 'a.b'", true},
        PredicateCase{"'axb' like 'a.b'", false},
        PredicateCase{"'中文科目' like '中文%'", true},
        PredicateCase{"'中文' like '_文'", true},
        PredicateCase{"'abc' not like 'a%'", false},
        PredicateCase{"null like '%'", false}));

using ConformanceCollation = EngineFixture;

std::string upperAscii(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

TEST_F(ConformanceCollation, DistinctGroupByAndOrderByIgnoreCase)
{
    exec("create table t (name varchar(20))\n"
         "insert into t values ('abc')\ninsert into t values ('ABC')\ninsert into t values ('Abc')\n"
         "insert into t values ('b')\ninsert into t values ('A')\ninsert into t values ('B')");
    EXPECT_EQ(text("select count(distinct name) from t"), "3");
    EXPECT_EQ(rows("select distinct name from t").rows.size(), 3u);

    ResultSet g = rows("select upper(name) as n, count(*) as c from t group by name order by 1");
    ASSERT_EQ(g.rows.size(), 3u);
    EXPECT_EQ(g.rows[0][0].toString(), "A");
    EXPECT_EQ(g.rows[0][1].toInt64(), 1);
    EXPECT_EQ(g.rows[1][0].toString(), "ABC");
    EXPECT_EQ(g.rows[1][1].toInt64(), 3);
    EXPECT_EQ(g.rows[2][0].toString(), "B");
    EXPECT_EQ(g.rows[2][1].toInt64(), 2);

    // Letter case does not decide the order: 'a...' and 'A...' sort together before 'b'/'B'.
    std::vector<std::string> order = column("select name from t order by name");
    for (auto& s : order)
        s = upperAscii(s);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "ABC", "ABC", "ABC", "B", "B"}));
    EXPECT_EQ(text("select count(*) from t where name = 'aBc'"), "3");
}

TEST_F(ConformanceCollation, TextPrimaryKeyIgnoresCaseAndTrailingBlanks)
{
    exec("create table k (code varchar(10) constraint PK_k primary key, n int)\n"
         "insert into k values ('abc', 1)");
    SqlError e = errorOf("insert into k values ('ABC', 2)");
    EXPECT_EQ(e.number, 2627);
    EXPECT_EQ(e.message, "Violation of PRIMARY KEY constraint 'PK_k'. Cannot insert duplicate key in object 'dbo.k'.");
    EXPECT_EQ(errorOf("insert into k values ('abc  ', 3)").number, 2627);
    EXPECT_EQ(text("select count(*) from k"), "1");
    // Lookups by key find the row whatever the case.
    EXPECT_EQ(text("select n from k where code = 'AbC'"), "1");
}

TEST_F(ConformanceCollation, UniqueIndexOnTextIgnoresCase)
{
    exec("create table u (id int, name varchar(10))\n"
         "create unique index IX_u_name on u (name)\n"
         "insert into u values (1, 'Sample')");
    EXPECT_EQ(errorOf("insert into u values (2, 'SAMPLE')").number, 2601);
}

TEST_F(ConformanceCollation, LikeOnAColumnWithEscapedUnderscore)
{
    exec("create table o (Name varchar(32))\n"
         "insert into o values ('VQTCW_001')\ninsert into o values ('VQTCWX001')\n"
         "insert into o values ('vqtcw_002')\ninsert into o values ('Other')");
    EXPECT_EQ(column("select Name from o where Name like 'VQTCW[_]%' order by Name"),
              (std::vector<std::string>{"VQTCW_001", "vqtcw_002"}));
    EXPECT_EQ(text("select count(*) from o where Name like 'VQTCW_%'"), "3");
    EXPECT_EQ(text("select count(*) from o where Name not like 'vqtcw%'"), "1");
}

TEST_F(ConformanceCollation, ChineseTextSortsByPinyin)
{
    exec("create table c (name varchar(10), uname nvarchar(10))\n"
         "insert into c values ('中', N'中')\ninsert into c values ('北', N'北')\n"
         "insert into c values ('阿', N'阿')\ninsert into c values ('财务', N'财务')");
    std::vector<std::string> expected{"阿", "北", "财务", "中"};
    EXPECT_EQ(column("select name from c order by name"), expected);
    EXPECT_EQ(column("select uname from c order by uname"), expected);
    EXPECT_EQ(text("select min(name) from c"), "阿");
    EXPECT_EQ(text("select max(name) from c"), "中");
    EXPECT_EQ(text("select case when '阿' < '北' and '北' < '中' then 1 else 0 end"), "1");
    // Chinese text sorts after ASCII letters and digits.
    EXPECT_EQ(text("select case when 'z' < '阿' and '9' < 'a' then 1 else 0 end"), "1");
}

}  // namespace
