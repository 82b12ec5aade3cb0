// Conformance of the system views the program tests objects with:
// sysobjects (tables, views, primary keys), syscolumns with systypes, and
// object_id.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

class ConformanceSystemViews : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table T1 (KeyID int not null constraint PK_T1 primary key, Name varchar(20) null, "
             "Amount numeric(19,4))");
        exec("create view V1 as select KeyID, Name from T1");
    }
};

TEST_F(ConformanceSystemViews, SysobjectsListsTablesViewsAndKeys)
{
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'T1' and xtype = 'U'"), "1");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'V1' and xtype = 'V'"), "1");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'PK_T1' and xtype = 'PK'"), "1");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 't1' and type = 'U'"), "1");
    // xtype is char(2): a one-letter type comes back with a trailing blank.
    EXPECT_EQ(text("select xtype from sysobjects where name = 'T1'"), "U ");
    // The key's parent is the table.
    EXPECT_EQ(text("select case when parent_obj = object_id('T1') then 1 else 0 end "
                   "from sysobjects where name = 'PK_T1'"),
              "1");
    EXPECT_EQ(text("select o.name from sysobjects o join sysobjects k on k.parent_obj = o.id "
                   "where k.xtype = 'PK' and o.name = 'T1'"),
              "T1");
    // The program's check before creating a table.
    EXPECT_EQ(text("select count(*) from sysobjects where id = object_id(N'[dbo].[T1]') and xtype = 'U'"), "1");
}

TEST_F(ConformanceSystemViews, ObjectIdFindsObjectsByPlainAndOwnerName)
{
    std::string id = text("select id from sysobjects where name = 'T1'");
    EXPECT_EQ(text("select object_id('T1')"), id);
    EXPECT_EQ(text("select object_id('dbo.T1')"), id);
    EXPECT_EQ(text("select object_id('[dbo].[T1]')"), id);
    EXPECT_EQ(text("select object_id('t1')"), id);
    EXPECT_EQ(text("select object_id('V1')"), text("select id from sysobjects where name = 'V1'"));
    EXPECT_EQ(text("select object_id('NoSuchTable')"), "<NULL>");
    EXPECT_EQ(text("select case when object_id('NoSuchTable') is null then 'none' else 'some' end"), "none");
    EXPECT_EQ(text("select count(*) from sysobjects where id = object_id('NoSuchTable')"), "0");
}

TEST_F(ConformanceSystemViews, SyscolumnsListsColumnsInOrderWithTheirTypes)
{
    ResultSet rs = rows("select c.name, c.colid, t.name as typename, c.length, c.isnullable "
                        "from syscolumns c join systypes t on t.xusertype = c.xusertype "
                        "where c.id = object_id('T1') order by c.colid");
    ASSERT_EQ(rs.rows.size(), 3u);
    EXPECT_EQ(rs.rows[0][0].toString(), "KeyID");
    EXPECT_EQ(rs.rows[0][1].toInt64(), 1);
    EXPECT_EQ(rs.rows[0][2].toString(), "int");
    EXPECT_EQ(rs.rows[0][3].toInt64(), 4);
    EXPECT_EQ(rs.rows[0][4].toInt64(), 0);
    EXPECT_EQ(rs.rows[1][0].toString(), "Name");
    EXPECT_EQ(rs.rows[1][1].toInt64(), 2);
    EXPECT_EQ(rs.rows[1][2].toString(), "varchar");
    EXPECT_EQ(rs.rows[1][3].toInt64(), 20);
    EXPECT_EQ(rs.rows[1][4].toInt64(), 1);
    EXPECT_EQ(rs.rows[2][0].toString(), "Amount");
    EXPECT_EQ(rs.rows[2][2].toString(), "numeric");
    // The view's columns are listed too.
    EXPECT_EQ(column("select name from syscolumns where id = object_id('V1') order by colid"),
              (std::vector<std::string>{"KeyID", "Name"}));
    // The program's check whether a column exists.
    EXPECT_EQ(text("select count(*) from syscolumns where id = object_id('T1') and name = 'amount'"), "1");
    EXPECT_EQ(text("select count(*) from syscolumns where id = object_id('T1') and name = 'Missing'"), "0");
}

TEST_F(ConformanceSystemViews, UserDefinedTypesAndAddedColumnsAppear)
{
    exec("sp_addtype T_VA32, 'varchar(32)', 'NULL'");
    exec("alter table T1 add Remark T_VA32");
    ResultSet rs = rows("select c.colid, t.name, c.length from syscolumns c "
                        "join systypes t on t.xusertype = c.xusertype "
                        "where c.id = object_id('T1') and c.name = 'Remark'");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 4);
    EXPECT_EQ(rs.rows[0][1].toString(), "T_VA32");
    EXPECT_EQ(rs.rows[0][2].toInt64(), 32);
}

TEST_F(ConformanceSystemViews, DroppedObjectsLeaveTheViews)
{
    exec("drop view V1");
    EXPECT_EQ(text("select object_id('V1')"), "<NULL>");
    exec("drop table T1");
    EXPECT_EQ(text("select object_id('T1')"), "<NULL>");
    EXPECT_EQ(text("select count(*) from sysobjects where name in ('T1', 'V1', 'PK_T1')"), "0");
    EXPECT_EQ(text("select count(*) from syscolumns where name = 'Amount'"), "0");
}

}  // namespace
