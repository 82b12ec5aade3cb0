// Conformance of common table expressions (plain and recursive, with
// OPTION (MAXRECURSION n)) and of TOP: WITH TIES, PERCENT, TOP (@n) in
// SELECT, INSERT, UPDATE and DELETE, with SQL Server's error numbers and
// texts.
#include "conformance_fixture.h"

#include <algorithm>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;

// Every row of a result set, its columns joined by "|".
Strings joinedRows(const ResultSet& rs)
{
    Strings out;
    for (const auto& row : rs.rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += (i ? "|" : "") + (row[i].isNull() ? std::string("<NULL>") : row[i].toString());
        out.push_back(line);
    }
    return out;
}

// A chart of accounts: codes with their parent code.
class CteFixture : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table Account (Code varchar(20) primary key, Parent varchar(20) null, Name varchar(40))\n"
             "insert into Account values ('1', null, 'Assets')\n"
             "insert into Account values ('1001', '1', 'Cash')\n"
             "insert into Account values ('1002', '1', 'Bank')\n"
             "insert into Account values ('100201', '1002', 'Bank of China')\n"
             "insert into Account values ('2', null, 'Liabilities')\n"
             "insert into Account values ('2202', '2', 'Payables')\n"
             "create table Score (Name varchar(10), Points int)\n"
             "insert into Score values ('a', 90)\n"
             "insert into Score values ('b', 80)\n"
             "insert into Score values ('c', 80)\n"
             "insert into Score values ('d', 70)\n"
             "insert into Score values ('e', 60)");
    }
};

// ---- plain common table expressions ----------------------------------------

TEST_F(CteFixture, LaterCtesReadEarlierOnesAndOneCteServesSeveralReferences)
{
    ResultSet rs = rows("with Top1 as (select Code, Name from Account where Parent is null),\n"
                        "     Child (ParentCode, ChildCount) as (select Parent, count(*) from Account a\n"
                        "                                         join Top1 on Top1.Code = a.Parent group by Parent)\n"
                        "select t.Name, c.ChildCount, (select count(*) from Top1) as Tops\n"
                        "from Top1 t join Child c on c.ParentCode = t.Code order by t.Code");
    EXPECT_EQ(joinedRows(rs), (Strings{"Assets|2|2", "Liabilities|1|2"}));
    ASSERT_EQ(rs.columns.size(), 3u);
    EXPECT_EQ(rs.columns[0].type.toString(), "varchar(40)");
    EXPECT_EQ(column("with a as (select Code from Account) select x.Code from a x join a y on y.Code = x.Code "
                     "where x.Code like '2%' order by 1"),
              (Strings{"2", "2202"}));
    EXPECT_EQ(column("select 1 as x;\nwith c (n) as (select 5) select n from c"), (Strings{"1"}));
}

TEST_F(CteFixture, CteDefinitionErrors)
{
    struct Case {
        const char* sql;
        int number;
        const char* message;
    } cases[] = {
        {"with c as (select 1) select * from c", 8155, "No column name was specified for column 1 of 'c'."},
        {"with c (a) as (select 1, 2) select * from c", 8158, "'c' has more columns than were specified in the column list."},
        {"with c (a, b) as (select 1) select * from c", 8159, "'c' has fewer columns than were specified in the column list."},
        {"with c (a, A) as (select 1, 2) select * from c", 8156, "The column 'A' was specified multiple times for 'c'."},
        {"with c as (select 1 a), c as (select 2 a) select * from c", 239,
         "Duplicate common table expression name 'c' was specified."},
        {"with c as (select Code from Account order by Code) select * from c", 1033,
         "The ORDER BY clause is invalid in views, inline functions, derived tables, subqueries, and common table "
         "expressions, unless TOP or FOR XML is also specified."},
        {"with a as (select * from b), b as (select 1 x) select * from a", 208, "Invalid object name 'b'."},
        {"select 1\nwith c as (select 1 a) select * from c", 319,
         "Incorrect syntax near the keyword 'with'. If this statement is a common table expression, an "
         "xmlnamespaces clause or a change tracking context clause, the previous statement must be terminated "
         "with a semicolon."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        SqlError e = errorOf(c.sql);
        EXPECT_EQ(e.number, c.number);
        EXPECT_EQ(e.message, c.message);
    }
    EXPECT_EQ(errorOf("select 1\nwith c as (select 1 a) select * from c").line, 2);
}

TEST_F(CteFixture, CtesFeedInsertUpdateAndDelete)
{
    exec("create table Leaf (Code varchar(20), Name varchar(40));\n"
         "with Leaves as (select Code, Name from Account a\n"
         "                where not exists (select * from Account c where c.Parent = a.Code))\n"
         "insert into Leaf (Code, Name) select Code, Name from Leaves");
    EXPECT_EQ(column("select Code from Leaf order by Code"), (Strings{"1001", "100201", "2202"}));
    exec("with Renamed as (select Code, 'Leaf ' + Name as NewName from Account)\n"
         "update Leaf set Name = r.NewName from Leaf join Renamed r on r.Code = Leaf.Code");
    EXPECT_EQ(text("select Name from Leaf where Code = '2202'"), "Leaf Payables");
    exec("with Assets as (select Code from Account where Code like '1%')\n"
         "delete from Leaf where Code in (select Code from Assets)");
    EXPECT_EQ(column("select Code from Leaf"), (Strings{"2202"}));
    EXPECT_EQ(errorOf("insert into Leaf with c as (select 1 a) select * from c").number, 156);
}

// ---- recursive common table expressions ------------------------------------

TEST_F(CteFixture, RecursiveAccountTreeWithLevelsAndPaths)
{
    ResultSet rs = rows("with Tree (Code, Name, Lvl, Path) as (\n"
                        "  select Code, Name, 0, cast(Code as varchar(200)) from Account where Parent is null\n"
                        "  union all\n"
                        "  select a.Code, a.Name, t.Lvl + 1, cast(t.Path + '/' + a.Code as varchar(200))\n"
                        "  from Account a join Tree t on a.Parent = t.Code)\n"
                        "select Code, Lvl, Path from Tree order by Path");
    EXPECT_EQ(joinedRows(rs), (Strings{"1|0|1", "1001|1|1/1001", "1002|1|1/1002", "100201|2|1/1002/100201", "2|0|2",
                                       "2202|1|2/2202"}));
    ASSERT_EQ(rs.columns.size(), 3u);
    EXPECT_EQ(rs.columns[2].type.toString(), "varchar(200)");
}

TEST_F(CteFixture, RecursiveSequencesOfNumbersAndDates)
{
    EXPECT_EQ(text("with n (i) as (select 1 union all select i + 1 from n where i < 100) select sum(i) from n"),
              "5050");
    EXPECT_EQ(column("declare @from datetime, @to datetime\n"
                     "select @from = '2008-02-27', @to = '2008-03-02';\n"
                     "with d (day) as (select @from union all select dateadd(day, 1, day) from d where day < @to)\n"
                     "select convert(varchar(10), day, 120) from d order by day"),
              (Strings{"2008-02-27", "2008-02-28", "2008-02-29", "2008-03-01", "2008-03-02"}));
}

TEST_F(CteFixture, MaxRecursionLimitsTheLevelsAndReportsError530)
{
    exec("create table Numbers (i int);\n"
         "with n (i) as (select 1 union all select i + 1 from n where i < 300)\n"
         "insert into Numbers select i from n option (maxrecursion 300)");
    EXPECT_EQ(text("select count(*) from Numbers"), "300");
    EXPECT_EQ(errorOf("with n (i) as (select 1 union all select i + 1 from n where i < 300)\n"
                      "insert into Numbers select i from n")
                  .number,
              530);
    EXPECT_EQ(text("select count(*) from Numbers"), "300");

    struct Case {
        std::string option;
        int upTo;      // the sequence 1 .. upTo needs upTo - 1 recursions
        int limit;     // the limit error 530 names; 0 when the query must succeed
    } cases[] = {
        {"", 101, 0},
        {"", 102, 100},
        {"option (maxrecursion 1)", 2, 0},
        {"option (maxrecursion 1)", 3, 1},
        {"option (maxrecursion 0)", 1000, 0},
        {"option (maxrecursion 500, force order, maxdop 1)", 501, 0},
        {"option (recompile, maxrecursion 5)", 7, 5},
    };
    for (const Case& c : cases) {
        const std::string sql = "with n (i) as (select 1 union all select i + 1 from n where i < " +
                                std::to_string(c.upTo) + ") select i from n " + c.option;
        SCOPED_TRACE(sql);
        BatchResult r = run(sql);
        if (c.limit == 0) {
            ASSERT_TRUE(r.ok()) << describeErrors(r);
            ASSERT_EQ(r.resultSets.size(), 1u);
            EXPECT_EQ(r.resultSets[0].rows.size(), static_cast<std::size_t>(c.upTo));
            continue;
        }
        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors[0].number, 530);
        EXPECT_EQ(r.errors[0].severity, 16);
        EXPECT_EQ(r.errors[0].message, "The statement terminated. The maximum recursion " + std::to_string(c.limit) +
                                           " has been exhausted before statement completion.");
        // The rows produced before the limit was reached come first.
        ASSERT_EQ(r.resultSets.size(), 1u);
        EXPECT_LE(r.resultSets[0].rows.size(), static_cast<std::size_t>(c.limit + 1));
        EXPECT_GE(r.resultSets[0].rows.size(), 1u);
    }
    EXPECT_EQ(errorOf("with n (i) as (select 1 union all select i + 1 from n) select i from n "
                      "option (maxrecursion 32768)")
                  .number,
              310);
}

TEST_F(CteFixture, RecursiveMemberRules)
{
    const std::string anchor = "with t (Code, Lvl) as (select Code, 0 from Account where Parent is null union all ";
    struct Case {
        std::string recursive;   // the rest of the statement after the anchor
        int number;
        std::string message;
    } cases[] = {
        {"select a.Code, t.Lvl + 1 from Account a left join t on a.Parent = t.Code) select * from t", 462,
         "Outer join is not allowed in the recursive part of a recursive common table expression 't'."},
        {"select a.Code, t.Lvl + 1 from Account a join t on a.Parent = t.Code join t t2 on t2.Code = t.Code) "
         "select * from t",
         253, "Recursive member of a common table expression 't' has multiple recursive references."},
        {"select distinct a.Code, t.Lvl + 1 from Account a join t on a.Parent = t.Code) select * from t", 460,
         "DISTINCT operator is not allowed in the recursive part of a recursive common table expression 't'."},
        {"select top 5 a.Code, t.Lvl + 1 from Account a join t on a.Parent = t.Code) select * from t", 461,
         "TOP operator is not allowed in the recursive part of a recursive common table expression 't'."},
        {"select max(a.Code), 1 from Account a join t on a.Parent = t.Code) select * from t", 467,
         "GROUP BY, HAVING, or aggregate functions are not allowed in the recursive part of a recursive common "
         "table expression 't'."},
        {"select a.Code, 1 from Account a where a.Parent in (select Code from t)) select * from t", 465,
         "Recursive references are not allowed in subqueries."},
        {"select a.Code, cast(t.Lvl + 1 as bigint) from Account a join t on a.Parent = t.Code) select * from t", 240,
         "Types don't match between the anchor and the recursive part in column \"Lvl\" of recursive query \"t\"."},
        {"select a.Code + 'x', t.Lvl + 1 from Account a join t on a.Parent = t.Code) select * from t", 240,
         "Types don't match between the anchor and the recursive part in column \"Code\" of recursive query \"t\"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recursive);
        SqlError e = errorOf(anchor + c.recursive);
        EXPECT_EQ(e.number, c.number);
        EXPECT_EQ(e.message, c.message);
    }
    SqlError e = errorOf("with t (n) as (select 1 union select n + 1 from t where n < 3) select * from t");
    EXPECT_EQ(e.number, 252);
    EXPECT_EQ(e.message, "Recursive common table expression 't' does not contain a top-level UNION ALL operator.");
    EXPECT_EQ(errorOf("with t (n) as (select n + 1 from t) select * from t").number, 246);
}

// ---- TOP -------------------------------------------------------------------------

TEST_F(CteFixture, TopWithTiesAndPercent)
{
    struct Case {
        const char* sql;
        Strings names;   // in order; ties sorted by name in the query
    } cases[] = {
        {"select top 2 with ties Name from Score order by Points desc", {"a", "b", "c"}},
        {"select top (1) with ties Name from Score order by Points desc", {"a"}},
        {"select top 3 with ties Name from Score order by Points desc", {"a", "b", "c"}},
        {"select top 0 with ties Name from Score order by Points desc", {}},
        {"select top 40 percent Name from Score order by Points desc", {"a", "b"}},
        {"select top 41 percent Name from Score order by Points desc", {"a", "b", "c"}},
        {"select top 20 percent with ties Name from Score order by Points", {"e"}},
        {"select top 30 percent with ties Name from Score order by Points desc", {"a", "b", "c"}},
        {"select top 100 percent Name from Score order by 1", {"a", "b", "c", "d", "e"}},
        {"select top 2 with ties Points, count(*) as n from Score group by Points order by n desc",
         {"60", "70", "80", "90"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        Strings got = column(c.sql);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.names);
    }
    // The rows come in the ORDER BY order.
    EXPECT_EQ(column("select top 4 with ties Points from Score order by Points desc"),
              (Strings{"90", "80", "80", "70"}));
    EXPECT_EQ(column("select * from (select top 1 with ties Name, Points from Score order by Points desc) x"),
              (Strings{"a"}));
}

TEST_F(CteFixture, TopCountErrors)
{
    struct Case {
        const char* sql;
        int number;
        const char* message;
    } cases[] = {
        {"select top 1 with ties Name from Score", 1062,
         "The TOP N WITH TIES clause is not allowed without a corresponding ORDER BY clause."},
        {"select top (-1) Name from Score", 127, "A TOP N value may not be negative."},
        {"declare @n int set @n = -2 select top (@n) Name from Score", 127, "A TOP N value may not be negative."},
        {"declare @n int select top (@n) Name from Score", 127, "A TOP N value may not be negative."},
        {"select top 1.5 Name from Score", 1060,
         "The number of rows provided for a TOP or FETCH clauses row count parameter must be an integer."},
        {"select top 101 percent Name from Score", 1031, "Percent values must be between 0 and 100."},
        {"declare @p float set @p = 120 select top (@p) percent Name from Score", 1031,
         "Percent values must be between 0 and 100."},
        {"declare @n int set @n = -1 delete top (@n) from Score", 127, "A TOP N value may not be negative."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        SqlError e = errorOf(c.sql);
        EXPECT_EQ(e.number, c.number);
        EXPECT_EQ(e.message, c.message);
    }
    EXPECT_EQ(column("select count(*) from Score"), (Strings{"5"}));
}

TEST_F(CteFixture, TopOfAVariableInEveryStatement)
{
    EXPECT_EQ(column("declare @n int set @n = 2 select top (@n) Name from Score order by Points desc"),
              (Strings{"a", "b"}));
    EXPECT_EQ(column("declare @n int set @n = 1 select top (@n + 1) Name from Score order by Name"),
              (Strings{"a", "b"}));
    exec("create table Copy (Name varchar(10))\n"
         "declare @n int set @n = 3\n"
         "insert top (@n) into Copy select Name from Score");
    EXPECT_EQ(text("select count(*) from Copy"), "3");
    exec("declare @n int set @n = 2\n"
         "update top (@n) Score set Points = 0 where Points < 90");
    EXPECT_EQ(text("select count(*) from Score where Points = 0"), "2");
    exec("declare @n int set @n = 1\n"
         "delete top (@n) from Score where Points = 0");
    EXPECT_EQ(text("select count(*) from Score"), "4");
    exec("delete top (0) from Score");
    EXPECT_EQ(text("select count(*) from Score"), "4");
}

// ---- window functions ----------------------------------------------------------

TEST_F(CteFixture, RankingFunctionsAndAggregatesOverPartitions)
{
    ResultSet rs = rows("select Name, row_number() over (order by Points desc, Name) as rn,\n"
                        "  rank() over (order by Points desc) as rk, dense_rank() over (order by Points desc) as dr,\n"
                        "  ntile(2) over (order by Name) as half\n"
                        "from Score order by Name");
    EXPECT_EQ(joinedRows(rs), (Strings{"a|1|1|1|1", "b|2|2|2|1", "c|3|2|2|1", "d|4|4|3|2", "e|5|5|4|2"}));
    ASSERT_EQ(rs.columns.size(), 5u);
    EXPECT_EQ(rs.columns[1].type.toString(), "bigint");
    EXPECT_EQ(joinedRows(rows("select Code, count(*) over (partition by Parent) as n,\n"
                              "  row_number() over (partition by Parent order by Code desc) as r\n"
                              "from Account where Parent is not null order by Code")),
              (Strings{"1001|2|2", "1002|2|1", "100201|1|1", "2202|1|1"}));
    EXPECT_EQ(joinedRows(rows("select Name, sum(Points) over () as total, max(Points) over (partition by Points / 20) "
                              "as best from Score where Points >= 80 order by Name")),
              (Strings{"a|250|90", "b|250|90", "c|250|90"}));
    // The first row of each group, as clients remove duplicates.
    EXPECT_EQ(column("with d as (select Name, row_number() over (partition by Points order by Name) as rn from Score)\n"
                     "select Name from d where rn = 1 order by Name"),
              (Strings{"a", "b", "d", "e"}));
    SqlError e = errorOf("select row_number() over (partition by Name) from Score");
    EXPECT_EQ(e.number, 4112);
    EXPECT_EQ(e.message, "The ranking function \"ROW_NUMBER\" must have an ORDER BY clause.");
    EXPECT_EQ(errorOf("select count(distinct Name) over () from Score").number, 10759);
    for (const char* misplaced : {"select Name from Score where rank() over (order by Points) = 1",
                                  "select Points from Score group by Points having count(*) over () > 1",
                                  "select 1 from Score a join Score b on row_number() over (order by a.Name) = 1"}) {
        SCOPED_TRACE(misplaced);
        SqlError w = errorOf(misplaced);
        EXPECT_EQ(w.number, 4108);
        EXPECT_EQ(w.message, "Windowed functions can only appear in the SELECT or ORDER BY clauses.");
    }
}

}  // namespace
