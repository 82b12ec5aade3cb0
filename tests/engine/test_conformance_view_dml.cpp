// Conformance of INSERT, UPDATE and DELETE through views: allowed when the
// change reaches one base table through plain columns, refused with 4403,
// 4405 or 4406 otherwise; the view's WHERE chooses the rows an UPDATE or
// DELETE changes but does not restrict what an INSERT writes.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;

class ConformanceViewDml : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table Acc (ID int not null primary key, Name varchar(20) not null, Kind int not null, "
             "Bal money null default (0))");
        exec("create table Kinds (Kind int not null primary key, KindName varchar(20))");
        exec("insert into Acc values (1, 'cash', 1, 10), (2, 'bank', 1, 20), (3, 'loan', 2, 30)");
        exec("insert into Kinds values (1, 'asset'), (2, 'debt')");
        exec("create view V_Assets as select ID, Name as AccName, Bal from Acc where Kind = 1");
        exec("create view V_Join as select a.ID, a.Name, k.Kind, k.KindName, a.Bal * 2 as Twice "
             "from Acc a join Kinds k on k.Kind = a.Kind");
        exec("create view V_Sum as select Kind, sum(Bal) as Total from Acc group by Kind");
    }
};

TEST_F(ConformanceViewDml, UpdateMapsColumnsAndKeepsTheViewsFilter)
{
    exec("update V_Assets set AccName = AccName + '!', Bal = Bal + 1 where ID >= 2");
    EXPECT_EQ(column("select Name from Acc order by ID"), (Strings{"cash", "bank!", "loan"}));
    EXPECT_EQ(column("select Bal from Acc order by ID"), (Strings{"10", "21", "30"}));
    EXPECT_EQ(run("update V_Assets set Bal = 0").rowsAffected, 2);
}

TEST_F(ConformanceViewDml, DeleteRemovesOnlyRowsTheViewShows)
{
    BatchResult r = run("delete from V_Assets where Bal > 5");
    EXPECT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 2);
    EXPECT_EQ(column("select ID from Acc"), (Strings{"3"}));
}

TEST_F(ConformanceViewDml, InsertWritesTheBaseTableEvenOutsideTheFilter)
{
    // Kind is not in the view and has no default: the base table refuses the NULL.
    SqlError e = errorOf("insert into V_Assets (ID, AccName) values (4, 'x')");
    EXPECT_EQ(e.number, 515);
    EXPECT_EQ(e.message, "Cannot insert the value NULL into column 'Kind', table 'master.dbo.Acc'; column does not "
                         "allow nulls. INSERT fails.");
    e = errorOf("update V_Assets set ID = 2 where ID = 1");
    EXPECT_EQ(e.number, 2627);
    EXPECT_NE(e.message.find("Cannot insert duplicate key in object 'dbo.Acc'."), std::string::npos) << e.message;
    exec("create view V_All as select ID, Name, Kind from Acc where Kind = 1");
    exec("insert into V_All values (5, 'tax', 2)");
    EXPECT_EQ(text("select Name + '/' + convert(varchar, Bal) from Acc where ID = 5"), "tax/0.00");
    EXPECT_EQ(text("select count(*) from V_All where ID = 5"), "0");
}

TEST_F(ConformanceViewDml, JoinViewsChangeOneTableAtATime)
{
    exec("update V_Join set KindName = 'liability' where Name = 'loan'");
    EXPECT_EQ(text("select KindName from Kinds where Kind = 2"), "liability");
    exec("update V_Join set Name = upper(Name) where KindName = 'asset'");
    EXPECT_EQ(column("select Name from Acc order by ID"), (Strings{"CASH", "BANK", "loan"}));
    exec("insert into V_Join (ID, Name) select 9, 'nine' where 1 = 0");
}

struct RefusalCase {
    const char* sql;
    int number;
    const char* message;
};

class ViewDmlRefusals : public ConformanceViewDml, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ViewDmlRefusals, AreRefusedWithSqlServersErrors)
{
    const RefusalCase& c = GetParam();
    SqlError e = errorOf(c.sql);
    EXPECT_EQ(e.number, c.number) << e.message;
    EXPECT_EQ(e.message, c.message);
    EXPECT_EQ(text("select count(*) from Acc"), "3");
    EXPECT_EQ(text("select sum(Bal) from Acc"), "60");
}

const char* const kMultiple =
    "View or function 'V_Join' is not updatable because the modification affects multiple base tables.";
const char* const kDerived =
    "Update or insert of view or function 'V_Join' failed because it contains a derived or constant field.";

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewDmlRefusals,
    ::testing::Values(RefusalCase{"update V_Join set Name = 'x', KindName = 'y'", 4405, kMultiple},
                      RefusalCase{"insert into V_Join (ID, Name, Kind) values (7, 'x', 1)", 4405, kMultiple},
                      RefusalCase{"delete from V_Join where ID = 1", 4405, kMultiple},
                      RefusalCase{"update V_Join set Twice = 4", 4406, kDerived},
                      RefusalCase{"update V_Sum set Total = 0", 4403,
                                  "Cannot update the view or function 'V_Sum' because it contains aggregates, or a "
                                  "DISTINCT or GROUP BY clause, or PIVOT or UNPIVOT operator."},
                      RefusalCase{"delete from V_Sum", 4403,
                                  "Cannot update the view or function 'V_Sum' because it contains aggregates, or a "
                                  "DISTINCT or GROUP BY clause, or PIVOT or UNPIVOT operator."},
                      RefusalCase{"update V_Assets set Nope = 1", 207, "Invalid column name 'Nope'."}));

TEST_F(ConformanceViewDml, ViewOfAnotherDatabase)
{
    exec("create database other");
    exec("use other");
    exec("create table T (a int, b varchar(5))");
    exec("create view VT as select a as x, b from T where a > 0");
    exec("use master");
    exec("insert into other..VT (x, b) values (1, 'p')");
    exec("insert into other.dbo.VT (x, b) values (-1, 'q')");
    exec("update other..VT set b = 'r'");
    exec("delete other..VT where x = 1");
    EXPECT_EQ(column("select b from other..T"), (Strings{"q"}));
}

}  // namespace
