// Conformance of the system tables' protection: data statements, TRUNCATE,
// DROP, ALTER and CREATE INDEX on sysobjects, syscolumns, systypes,
// sysdatabases and syslogins are refused as SQL Server refuses ad hoc
// catalogue changes, while the engine's own statements keep them current.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

struct RefusalCase {
    const char* sql;
    int number;
};

class SystemTableRefusals : public EngineFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SystemTableRefusals, LeaveTheCatalogueUnchanged)
{
    const std::string before = text("select count(*) from sysobjects") + "/" + text("select count(*) from syscolumns") +
                               "/" + text("select count(*) from master..sysdatabases") + "/" +
                               text("select min(password) from master..syslogins");
    SqlError e = errorOf(GetParam().sql);
    EXPECT_EQ(e.number, GetParam().number) << e.message;
    if (GetParam().number == 259)
        EXPECT_EQ(e.message, "Ad hoc updates to system catalogs are not allowed.");
    const std::string after = text("select count(*) from sysobjects") + "/" + text("select count(*) from syscolumns") +
                              "/" + text("select count(*) from master..sysdatabases") + "/" +
                              text("select min(password) from master..syslogins");
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SystemTableRefusals,
    ::testing::Values(RefusalCase{"update master..syslogins set password = 'x' where name = 'sa'", 259},
                      RefusalCase{"delete from master..sysdatabases", 259},
                      RefusalCase{"delete master.dbo.sysdatabases where name = 'master'", 259},
                      RefusalCase{"insert into sysobjects (id, name, xtype, type) values (900, 'x', 'U', 'U')", 259},
                      RefusalCase{"update syscolumns set name = 'x'", 259},
                      RefusalCase{"delete from systypes", 259},
                      RefusalCase{"insert into sysforeignkeys values (1, 2, 3, 1, 1, 1)", 259},
                      RefusalCase{"truncate table syscolumns", 259},
                      RefusalCase{"drop table sysobjects", 3701},
                      RefusalCase{"alter table syscolumns add extra int", 4902},
                      RefusalCase{"create index ix on sysobjects (name)", 1088}));

using ConformanceSystemTables = EngineFixture;

TEST_F(ConformanceSystemTables, ChangesThroughAViewAreRefusedToo)
{
    exec("create view V_Objects as select id, name from sysobjects");
    EXPECT_EQ(errorOf("update V_Objects set name = 'x'").number, 259);
    EXPECT_EQ(errorOf("delete from V_Objects").number, 259);
}

TEST_F(ConformanceSystemTables, EngineStatementsStillMaintainTheCatalogue)
{
    exec("create table T (a int primary key)");
    exec("exec sp_addtype T_Code, 'varchar(8)'");
    exec("create database scratch");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'T'"), "1");
    EXPECT_EQ(text("select count(*) from systypes where name = 'T_Code'"), "1");
    EXPECT_EQ(text("select count(*) from master..sysdatabases where name = 'scratch'"), "1");
    exec("drop database scratch");
    exec("drop table T");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'T'"), "0");
}

}  // namespace
