// Conformance of data definition: CREATE TABLE with nullability, defaults
// and named primary keys, DROP TABLE, views, ALTER TABLE ADD and indexes.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;
using ConformanceDdl = EngineFixture;

TEST_F(ConformanceDdl, CreateTableWithNullabilityDefaultsAndClusteredKey)
{
    exec("CREATE TABLE [dbo].[T_Options] (\n"
         "  [KeyID] int NOT NULL,\n"
         "  [Name] varchar(64) NULL,\n"
         "  [TxtValue] varchar(255) NULL DEFAULT (''),\n"
         "  CONSTRAINT [PK_T_Options] PRIMARY KEY CLUSTERED ([KeyID])\n"
         ")");
    exec("insert into T_Options (KeyID, Name) values (1, 'A')");
    EXPECT_EQ(text("select '[' + TxtValue + ']' from T_Options"), "[]");
    SqlError e = errorOf("insert into T_Options (KeyID) values (1)");
    EXPECT_EQ(e.number, 2627);
    EXPECT_EQ(e.message,
              "Violation of PRIMARY KEY constraint 'PK_T_Options'. Cannot insert duplicate key in object 'dbo.T_Options'.");
    EXPECT_EQ(errorOf("insert into T_Options (Name) values ('x')").number, 515);
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'PK_T_Options' and xtype = 'PK'"), "1");
}

TEST_F(ConformanceDdl, NonclusteredAndCompositeKeys)
{
    exec("create table cal (CWYear int not null, CWMonth int not null, BeginDate datetime null, "
         "constraint PK_cal primary key nonclustered (CWYear, CWMonth))");
    exec("insert into cal values (2026, 1, '2026-01-01'), (2026, 2, '2026-02-01'), (2027, 1, '2027-01-01')");
    SqlError e = errorOf("insert into cal values (2026, 2, null)");
    EXPECT_EQ(e.number, 2627);
    EXPECT_EQ(e.message, "Violation of PRIMARY KEY constraint 'PK_cal'. Cannot insert duplicate key in object 'dbo.cal'.");
    // Key columns are NOT NULL even when declared without it.
    exec("create table k2 (id int primary key nonclustered, v int)");
    EXPECT_EQ(errorOf("insert into k2 values (null, 1)").number, 515);
    // An unnamed key still gets a PK object.
    EXPECT_EQ(text("select count(*) from sysobjects where xtype = 'PK' and parent_obj = object_id('k2')"), "1");
}

TEST_F(ConformanceDdl, DropTableRemovesTableAndRows)
{
    exec("create table t (a int)\ninsert into t values (1)");
    exec("drop table t");
    SqlError e = errorOf("select * from t");
    EXPECT_EQ(e.number, 208);
    EXPECT_EQ(e.message, "Invalid object name 't'.");
    exec("create table t (b varchar(5))");
    EXPECT_EQ(text("select count(*) from t"), "0");
    e = errorOf("drop table nosuch");
    EXPECT_EQ(e.number, 3701);
    EXPECT_EQ(e.message, "Cannot drop the table 'nosuch', because it does not exist or you do not have permission.");
}

TEST_F(ConformanceDdl, CreateAndDropView)
{
    exec("create table t (a int, b varchar(5))\ninsert into t values (1, 'x'), (2, 'y'), (3, 'x')");
    exec("create view vx as\nselect a, b from t where b = 'x'");
    EXPECT_EQ(column("select a from vx order by a"), (Strings{"1", "3"}));
    // The view shows later changes of its table.
    exec("insert into t values (4, 'X')");
    EXPECT_EQ(text("select count(*) from vx"), "3");
    EXPECT_EQ(text("select sum(v.a) from vx v join t on t.a = v.a"), "8");
    exec("drop view vx");
    EXPECT_EQ(errorOf("select * from vx").number, 208);
    EXPECT_EQ(text("select count(*) from t"), "4");
    // CREATE VIEW must open its batch.
    EXPECT_EQ(errorOf("select 1\ncreate view vy as select a from t").number, 111);
}

TEST_F(ConformanceDdl, AlterTableAddColumn)
{
    exec("create table t (a int)\ninsert into t values (1), (2)");
    exec("alter table t add b varchar(10) null");
    EXPECT_EQ(column("select isnull(b, 'null') from t"), (Strings{"null", "null"}));
    // A NOT NULL column with a default fills the existing rows with it.
    exec("alter table t add c int not null default 0");
    EXPECT_EQ(column("select c from t"), (Strings{"0", "0"}));
    exec("alter table t add d int null, e varchar(3) default 'z'");
    exec("insert into t (a) values (3)");
    EXPECT_EQ(text("select cast(c as varchar) + isnull(cast(d as varchar), '-') + e from t where a = 3"), "0-z");
    ResultSet rs = rows("select * from t");
    ASSERT_EQ(rs.columns.size(), 5u);
    EXPECT_EQ(rs.columns[4].name, "e");
    EXPECT_EQ(errorOf("alter table t add a int").number, 2705);
}

TEST_F(ConformanceDdl, CreateIndexAndUniqueIndex)
{
    exec("create table t (id int, code varchar(10), name varchar(10))\n"
         "insert into t values (1, 'A', 'x'), (2, 'B', 'x')");
    exec("create index IX_t_name on t (name)");
    exec("create unique index IX_t_code on t (code)");
    exec("create nonclustered index IX_t_both on t (name asc, code desc)");
    EXPECT_EQ(text("select count(*) from t where name = 'x'"), "2");
    SqlError e = errorOf("insert into t values (3, 'a', 'y')");
    EXPECT_EQ(e.number, 2601);
    EXPECT_EQ(e.message.rfind("Cannot insert duplicate key row in object 'dbo.t' with unique index 'IX_t_code'.", 0), 0u)
        << e.message;
    // A unique index cannot be made over duplicates.
    EXPECT_EQ(errorOf("create unique index IX_t_name2 on t (name)").number, 1505);
    EXPECT_EQ(errorOf("create index IX_t_name on t (code)").number, 1913);
}

TEST_F(ConformanceDdl, CreatingAnExistingObjectIsError2714)
{
    exec("create table T (a int)");
    SqlError e = errorOf("create table T (b int)");
    EXPECT_EQ(e.number, 2714);
    EXPECT_EQ(e.message, "There is already an object named 'T' in the database.");
    EXPECT_EQ(errorOf("create table t (b int)").number, 2714);
    EXPECT_EQ(errorOf("create view T as select 1 as x").number, 2714);
    // The first table is untouched.
    ResultSet rs = rows("select * from T");
    ASSERT_EQ(rs.columns.size(), 1u);
    EXPECT_EQ(rs.columns[0].name, "a");
}

}  // namespace
