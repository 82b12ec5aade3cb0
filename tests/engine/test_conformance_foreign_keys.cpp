// Conformance of FOREIGN KEY constraints: declaration inline and as table
// or ALTER TABLE constraints, the catalogue rows, enforcement with error
// 547 and SQL Server's texts, referential actions, and the refusals to
// drop or truncate a referenced table.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;

class ConformanceForeignKeys : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create database shop");
        exec("use shop");
        exec("create table parent (id int not null primary key, code varchar(10) null unique, name varchar(20))");
        exec("insert into parent values (1, 'a', 'one'), (2, 'b', 'two')");
    }

    // Every error of a batch that must fail, as "number: text".
    Strings errorsOf(const std::string& sql)
    {
        Strings out;
        for (const SqlError& e : run(sql).errors)
            out.push_back(std::to_string(e.number) + ": " + e.message);
        return out;
    }
};

TEST_F(ConformanceForeignKeys, InsertOfAMissingParentIsRefusedAndTerminated)
{
    exec("create table child (cid int primary key, pid int constraint FK_child_parent references parent(id))");
    BatchResult r = run("insert into child values (10, 3)");
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 547);
    EXPECT_EQ(r.errors[0].message,
              "The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_child_parent\". The conflict "
              "occurred in database \"shop\", table \"dbo.parent\", column 'id'.");
    EXPECT_NE(std::find(r.messages.begin(), r.messages.end(), "The statement has been terminated."), r.messages.end());
    EXPECT_EQ(text("select count(*) from child"), "0");
    // NULL references nothing; an existing parent is accepted.
    exec("insert into child values (11, null), (12, 2)");
    EXPECT_EQ(text("select count(*) from child"), "2");
}

TEST_F(ConformanceForeignKeys, UpdatesAndDeletesOnBothSides)
{
    exec("create table child (cid int primary key, pid int, constraint FK_x foreign key (pid) references parent (id))");
    exec("insert into child values (1, 1)");
    EXPECT_EQ(errorsOf("update child set pid = 9 where cid = 1").front(),
              "547: The UPDATE statement conflicted with the FOREIGN KEY constraint \"FK_x\". The conflict occurred "
              "in database \"shop\", table \"dbo.parent\", column 'id'.");
    EXPECT_EQ(errorsOf("delete from parent where id = 1").front(),
              "547: The DELETE statement conflicted with the REFERENCE constraint \"FK_x\". The conflict occurred in "
              "database \"shop\", table \"dbo.child\", column 'pid'.");
    EXPECT_EQ(errorsOf("update parent set id = 5 where id = 1").front(),
              "547: The UPDATE statement conflicted with the REFERENCE constraint \"FK_x\". The conflict occurred in "
              "database \"shop\", table \"dbo.child\", column 'pid'.");
    // Rows nobody references stay free to change.
    exec("update parent set name = 'uno' where id = 1");
    exec("delete from parent where id = 2");
    EXPECT_EQ(text("select count(*) from parent"), "1");
}

TEST_F(ConformanceForeignKeys, ReferencingAUniqueConstraintAndSeveralColumns)
{
    exec("create table child (pcode varchar(10) references parent(code))");
    EXPECT_EQ(run("insert into child values ('A')").errors.size(), 0u);   // keys compare without letter case
    EXPECT_EQ(errorOf("insert into child values ('z')").number, 547);

    exec("create table pair (a int not null, b int not null, constraint PK_pair primary key (a, b))");
    exec("insert into pair values (1, 1)");
    exec("create table refs (a int, b int, constraint FK_refs foreign key (a, b) references pair (a, b))");
    exec("insert into refs values (1, 1), (1, null)");   // a NULL part checks nothing
    EXPECT_EQ(errorOf("insert into refs values (1, 2)").message,
              "The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_refs\". The conflict occurred in "
              "database \"shop\", table \"dbo.pair\".");
}

TEST_F(ConformanceForeignKeys, ReferentialActions)
{
    exec("create table c1 (id int primary key, pid int references parent(id) on delete cascade on update cascade)");
    exec("create table c2 (id int primary key, pid int references parent(id) on delete set null on update set null)");
    exec("insert into c1 values (1, 1), (2, 2)");
    exec("insert into c2 values (1, 1), (2, 2)");
    exec("update parent set id = 20 where id = 2");
    EXPECT_EQ(column("select pid from c1 order by id"), (Strings{"1", "20"}));
    EXPECT_EQ(column("select isnull(pid, -1) from c2 order by id"), (Strings{"1", "-1"}));
    exec("delete from parent where id = 1");
    EXPECT_EQ(column("select id from c1"), (Strings{"2"}));
    EXPECT_EQ(column("select isnull(pid, -1) from c2 order by id"), (Strings{"-1", "-1"}));
}

TEST_F(ConformanceForeignKeys, CatalogueRowsAndAutomaticNames)
{
    exec("create table child (cid int primary key, pid int references parent(id))");
    ResultSet fk = rows("select name, xtype, parent_obj from sysobjects where xtype = 'F'");
    ASSERT_EQ(fk.rows.size(), 1u);
    EXPECT_EQ(fk.rows[0][0].toString().rfind("FK__child__pid__", 0), 0u) << fk.rows[0][0].toString();
    EXPECT_EQ(fk.rows[0][2].toString(), text("select object_id('child')"));
    EXPECT_EQ(text("select count(*) from sysforeignkeys where fkeyid = object_id('child') and "
                   "rkeyid = object_id('parent') and fkey = 2 and rkey = 1 and keyno = 1"),
              "1");
}

TEST_F(ConformanceForeignKeys, AlterTableAddsAndDropsAKey)
{
    exec("create table child (cid int primary key, pid int)");
    exec("insert into child values (1, 1), (2, 7)");
    EXPECT_EQ(errorOf("alter table child add constraint FK_late foreign key (pid) references parent(id)").message,
              "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"FK_late\". The conflict "
              "occurred in database \"shop\", table \"dbo.parent\", column 'id'.");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'FK_late'"), "0");
    exec("delete from child where cid = 2");
    exec("alter table child add constraint FK_late foreign key (pid) references parent(id)");
    EXPECT_EQ(errorOf("insert into child values (3, 9)").number, 547);
    exec("alter table child drop constraint FK_late");
    exec("insert into child values (3, 9)");
    EXPECT_EQ(text("select count(*) from sysobjects where xtype = 'F'"), "0");
}

TEST_F(ConformanceForeignKeys, CheckAndNoCheckAsScriptsWriteThem)
{
    exec("create table child (cid int primary key, pid int)");
    exec("insert into child values (1, 7)");
    // WITH NOCHECK leaves the rows already there unchecked.
    exec("alter table [dbo].[child] with nocheck add constraint [FK_c] foreign key ([pid]) references [dbo].[parent] ([id])");
    EXPECT_EQ(errorOf("insert into child values (2, 8)").number, 547);
    exec("alter table child nocheck constraint FK_c");
    exec("insert into child values (2, 8)");
    exec("delete from parent where id = 1");
    exec("alter table child check constraint all");
    EXPECT_EQ(errorOf("insert into child values (3, 9)").number, 547);
    EXPECT_EQ(errorOf("alter table child with check check constraint FK_c").message,
              "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"FK_c\". The conflict occurred "
              "in database \"shop\", table \"dbo.parent\", column 'id'.");
    SqlError e = errorOf("alter table child nocheck constraint FK_none");
    EXPECT_EQ(e.number, 4917);
    EXPECT_EQ(e.message, "Constraint 'FK_none' does not exist.");
}

struct DeclarationCase {
    const char* sql;
    int number;
    const char* message;
};

class ForeignKeyDeclarationErrors : public ConformanceForeignKeys,
                                    public ::testing::WithParamInterface<DeclarationCase> {};

TEST_P(ForeignKeyDeclarationErrors, AreRefusedAsSqlServerRefusesThem)
{
    const DeclarationCase& c = GetParam();
    SqlError e = errorOf(c.sql);
    EXPECT_EQ(e.number, c.number) << e.message;
    EXPECT_EQ(e.message, c.message);
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'c'"), "0");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ForeignKeyDeclarationErrors,
    ::testing::Values(
        DeclarationCase{"create table c (pid int constraint FK_c references nothere(id))", 1767,
                        "Foreign key 'FK_c' references invalid table 'nothere'."},
        DeclarationCase{"create table c (pid int, constraint FK_c foreign key (zz) references parent(id))", 1769,
                        "Foreign key 'FK_c' references invalid column 'zz' in referencing table 'c'."},
        DeclarationCase{"create table c (pid int constraint FK_c references parent(zz))", 1770,
                        "Foreign key 'FK_c' references invalid column 'zz' in referenced table 'parent'."},
        DeclarationCase{"create table c (pid int constraint FK_c references parent(name))", 1776,
                        "There are no primary or candidate keys in the referenced table 'parent' that match the "
                        "referencing column list in the foreign key 'FK_c'."},
        DeclarationCase{"create table c (a int, b int, constraint FK_c foreign key (a, b) references parent(id))",
                        8139,
                        "Number of referencing columns in foreign key differs from number of referenced columns, "
                        "table 'c'."}));

TEST_F(ConformanceForeignKeys, ReferencedTablesCannotBeDroppedOrTruncated)
{
    exec("create table child (cid int primary key, pid int constraint FK_c references parent(id))");
    EXPECT_EQ(errorsOf("drop table parent"),
              (Strings{"3726: Could not drop object 'parent' because it is referenced by a FOREIGN KEY constraint."}));
    EXPECT_EQ(errorOf("truncate table parent").number, 4712);
    // Dropping the referencing table first frees the referenced one.
    exec("drop table child");
    exec("delete from parent");
    exec("drop table parent");
    EXPECT_EQ(text("select count(*) from sysobjects where xtype in ('U','F')"), "0");
}

TEST_F(ConformanceForeignKeys, ColumnsOfAKeyCannotBeDropped)
{
    exec("create table child (cid int primary key, pid int constraint FK_c references parent(id), note int)");
    for (const char* sql : {"alter table child drop column pid", "alter table parent drop column id"}) {
        BatchResult r = run(sql);
        ASSERT_EQ(r.errors.size(), 2u) << sql;
        EXPECT_EQ(r.errors[0].number, 5074);
        EXPECT_EQ(r.errors[0].message,
                  std::string("The object 'FK_c' is dependent on column '") + (sql[12] == 'c' ? "pid" : "id") + "'.");
        EXPECT_EQ(r.errors[1].number, 4922);
    }
    exec("alter table child drop column note");
    EXPECT_EQ(errorOf("insert into child values (1, 5)").number, 547);
}

TEST_F(ConformanceForeignKeys, SelfReferenceAndRenamedDatabase)
{
    exec("create table node (id int primary key, up int references node(id))");
    exec("insert into node values (1, null)");
    exec("insert into node values (2, 1)");
    exec("insert into node values (3, 3)");   // a row may reference itself
    EXPECT_EQ(errorOf("insert into node values (4, 8)").number, 547);
    exec("drop table node");
    // The message names the database under its present name.
    exec("create table child (pid int constraint FK_c references parent(id))");
    exec("use master");
    exec("alter database shop modify name = store");
    EXPECT_EQ(errorOf("insert into store..child values (5)").message,
              "The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_c\". The conflict occurred in "
              "database \"store\", table \"dbo.parent\", column 'id'.");
}

}  // namespace
