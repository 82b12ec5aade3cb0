// Conformance of SELECT: DISTINCT, TOP, aliases, stars, joins, derived
// tables, subqueries, grouping, ordering, aggregates and UNION.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;

// Accounts and their voucher lines; account 4 has no lines, line 6 has no account.
class ConformanceQueries : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table Acc (KeyID int primary key, Code varchar(10), Name varchar(20), Kind int)\n"
             "insert into Acc values (1, '1001', 'Cash', 1)\n"
             "insert into Acc values (2, '1002', 'Bank', 1)\n"
             "insert into Acc values (3, '2001', 'Loans', 2)\n"
             "insert into Acc values (4, '3001', 'Capital', 3)\n"
             "create table Line (KeyID int primary key, AccID int, Amount int)\n"
             "insert into Line values (1, 1, 10)\n"
             "insert into Line values (2, 1, 20)\n"
             "insert into Line values (3, 2, 5)\n"
             "insert into Line values (4, 3, 7)\n"
             "insert into Line values (5, 3, 8)\n"
             "insert into Line values (6, 9, 100)");
    }
};

TEST_F(ConformanceQueries, DistinctAndTop)
{
    EXPECT_EQ(column("select distinct Kind from Acc order by Kind"), (Strings{"1", "2", "3"}));
    EXPECT_EQ(rows("select distinct Kind, Name from Acc").rows.size(), 4u);
    EXPECT_EQ(column("select top 2 Code from Acc order by Code desc"), (Strings{"3001", "2001"}));
    EXPECT_EQ(column("select top 1 KeyID from Line order by Amount"), (Strings{"3"}));
    EXPECT_EQ(rows("select top 10 * from Acc").rows.size(), 4u);
    EXPECT_EQ(rows("select top 0 * from Acc").rows.size(), 0u);
}

TEST_F(ConformanceQueries, ColumnNamesFromAliasesAndStars)
{
    ResultSet rs = rows("select Code as C1, Name N2, KeyID, Kind * 2, 'x' as [Lit] from Acc where KeyID = 1");
    ASSERT_EQ(rs.columns.size(), 5u);
    EXPECT_EQ(rs.columns[0].name, "C1");
    EXPECT_EQ(rs.columns[1].name, "N2");
    EXPECT_EQ(rs.columns[2].name, "KeyID");
    EXPECT_EQ(rs.columns[3].name, "");
    EXPECT_EQ(rs.columns[4].name, "Lit");

    rs = rows("select * from Acc where KeyID = 2");
    ASSERT_EQ(rs.columns.size(), 4u);
    EXPECT_EQ(rs.columns[0].name, "KeyID");
    EXPECT_EQ(rs.columns[3].name, "Kind");
    EXPECT_EQ(rs.at(0, "Name").toString(), "Bank");

    rs = rows("select a.*, l.Amount from Acc a join Line l on l.AccID = a.KeyID where l.KeyID = 3");
    ASSERT_EQ(rs.columns.size(), 5u);
    EXPECT_EQ(rs.columns[4].name, "Amount");
    EXPECT_EQ(rs.at(0, "Code").toString(), "1002");
}

TEST_F(ConformanceQueries, InnerAndLeftJoins)
{
    EXPECT_EQ(column("select a.Name from Acc a inner join Line l on l.AccID = a.KeyID order by l.KeyID"),
              (Strings{"Cash", "Cash", "Bank", "Loans", "Loans"}));
    EXPECT_EQ(column("select a.Name + ':' + isnull(cast(l.Amount as varchar(10)), '-') "
                     "from Acc a left join Line l on l.AccID = a.KeyID order by a.KeyID, l.KeyID"),
              (Strings{"Cash:10", "Cash:20", "Bank:5", "Loans:7", "Loans:8", "Capital:-"}));
    EXPECT_EQ(column("select a.Code from Acc a left outer join Line l on l.AccID = a.KeyID where l.KeyID is null"),
              (Strings{"3001"}));
    // Old-style join in the WHERE clause.
    EXPECT_EQ(text("select count(*) from Acc a, Line l where a.KeyID = l.AccID"), "5");
}

TEST_F(ConformanceQueries, DerivedTablesAndScalarSubqueries)
{
    EXPECT_EQ(column("select d.AccID, d.Total from (select AccID, sum(Amount) as Total from Line group by AccID) d "
                     "where d.Total > 10 order by d.AccID"),
              (Strings{"1", "3", "9"}));
    EXPECT_EQ(text("select max(Total) from (select sum(Amount) Total from Line group by AccID) as x"), "100");
    EXPECT_EQ(column("select Name, (select sum(Amount) from Line where AccID = Acc.KeyID) from Acc order by KeyID"),
              (Strings{"Cash", "Bank", "Loans", "Capital"}));
    ResultSet rs = rows("select KeyID, (select sum(Amount) from Line where AccID = Acc.KeyID) as Total "
                        "from Acc order by KeyID");
    ASSERT_EQ(rs.rows.size(), 4u);
    EXPECT_EQ(rs.rows[0][1].toInt64(), 30);
    EXPECT_TRUE(rs.rows[3][1].isNull());
    EXPECT_EQ(text("select (select Name from Acc where KeyID = 2)"), "Bank");
}

TEST_F(ConformanceQueries, ScalarSubqueryWithSeveralRowsIsError512)
{
    SqlError e = errorOf("select (select Amount from Line where AccID = 1)");
    EXPECT_EQ(e.number, 512);
    EXPECT_EQ(e.message,
              "Subquery returned more than 1 value. This is not permitted when the subquery follows "
              "=, !=, <, <= , >, >= or when the subquery is used as an expression.");
    EXPECT_EQ(errorOf("select Name from Acc where KeyID = (select AccID from Line)").number, 512);
    EXPECT_EQ(errorOf("declare @v int\nset @v = (select KeyID from Acc)").number, 512);
}

TEST_F(ConformanceQueries, InAndExistsSubqueries)
{
    EXPECT_EQ(column("select Code from Acc where KeyID in (select AccID from Line) order by Code"),
              (Strings{"1001", "1002", "2001"}));
    EXPECT_EQ(column("select Code from Acc where KeyID not in (select AccID from Line)"), (Strings{"3001"}));
    EXPECT_EQ(column("select Code from Acc a where exists (select * from Line l where l.AccID = a.KeyID and "
                     "l.Amount > 7) order by Code"),
              (Strings{"1001", "2001"}));
    EXPECT_EQ(column("select Code from Acc a where not exists (select 1 from Line where AccID = a.KeyID)"),
              (Strings{"3001"}));
    EXPECT_EQ(column("select Code from Acc where Kind in (2, 3) order by Code"), (Strings{"2001", "3001"}));
    // NOT IN over a list holding NULL is never true.
    exec("insert into Line values (7, null, 1)");
    EXPECT_EQ(rows("select Code from Acc where KeyID not in (select AccID from Line)").rows.size(), 0u);
}

TEST_F(ConformanceQueries, GroupByHavingAndOrderByAlias)
{
    ResultSet rs = rows("select AccID, count(*) as Cnt, sum(Amount) as Total from Line "
                        "group by AccID having sum(Amount) >= 15 order by Total desc");
    ASSERT_EQ(rs.rows.size(), 3u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 9);
    EXPECT_EQ(rs.rows[1][0].toInt64(), 1);
    EXPECT_EQ(rs.rows[1][1].toInt64(), 2);
    EXPECT_EQ(rs.rows[1][2].toInt64(), 30);
    EXPECT_EQ(rs.rows[2][0].toInt64(), 3);
    EXPECT_EQ(column("select Code as X from Acc order by X desc"), (Strings{"3001", "2001", "1002", "1001"}));
    EXPECT_EQ(column("select Name from Acc order by Kind desc, Code"), (Strings{"Capital", "Loans", "Cash", "Bank"}));
    EXPECT_EQ(column("select Code, Name from Acc order by 2"), (Strings{"1002", "3001", "1001", "2001"}));
    EXPECT_EQ(column("select Code from Acc order by Name"), (Strings{"1002", "3001", "1001", "2001"}));
    EXPECT_EQ(column("select Kind from Acc group by Kind having count(*) > 1"), (Strings{"1"}));
}

TEST_F(ConformanceQueries, Aggregates)
{
    ResultSet rs = rows("select count(*), count(AccID), sum(Amount), avg(Amount), min(Amount), max(Amount) from Line");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 6);
    EXPECT_EQ(rs.rows[0][1].toInt64(), 6);
    EXPECT_EQ(rs.rows[0][2].toInt64(), 150);
    EXPECT_EQ(rs.rows[0][3].toInt64(), 25);
    EXPECT_EQ(rs.rows[0][4].toInt64(), 5);
    EXPECT_EQ(rs.rows[0][5].toInt64(), 100);
    // avg of integers is an integer: 7 and 8 give 7.
    EXPECT_EQ(text("select avg(Amount) from Line where AccID = 3"), "7");
    EXPECT_EQ(text("select avg(cast(Amount as numeric(10,2))) from Line where AccID = 3"), "7.5");
    // Aggregates skip NULL; over no rows count is 0 and the others NULL.
    exec("insert into Line values (7, null, null)");
    EXPECT_EQ(text("select count(Amount) from Line"), "6");
    EXPECT_EQ(text("select count(*) from Line"), "7");
    EXPECT_EQ(text("select avg(Amount) from Line"), "25");
    EXPECT_EQ(text("select count(*) from Line where KeyID > 100"), "0");
    EXPECT_EQ(text("select sum(Amount) from Line where KeyID > 100"), "<NULL>");
    EXPECT_EQ(text("select max(Amount) from Line where KeyID > 100"), "<NULL>");
    EXPECT_EQ(text("select min(Name) from Acc"), "Bank");
    EXPECT_EQ(text("select max(Code) from Acc"), "3001");
    EXPECT_EQ(text("select count(distinct AccID) from Line"), "4");
}

TEST_F(ConformanceQueries, UnionAndUnionAll)
{
    EXPECT_EQ(column("select Kind from Acc union select AccID from Line order by 1"),
              (Strings{"1", "2", "3", "9"}));
    EXPECT_EQ(rows("select Kind from Acc union all select AccID from Line").rows.size(), 10u);
    EXPECT_EQ(rows("select 'a' union select 'A'").rows.size(), 1u);
    ResultSet rs = rows("select Code as C from Acc where KeyID = 1 union all select 'x'");
    ASSERT_EQ(rs.columns.size(), 1u);
    EXPECT_EQ(rs.columns[0].name, "C");
    EXPECT_EQ(rs.rows.size(), 2u);
}

}  // namespace
