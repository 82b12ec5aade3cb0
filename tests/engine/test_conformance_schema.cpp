// Conformance of the INFORMATION_SCHEMA views: their columns (names and
// order as SQL Server documents them), their rows for tables, views, keys
// and user-defined types, and how they are named.
#include "conformance_fixture.h"

#include <algorithm>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;

class ConformanceSchema : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create database acc");
        exec("use acc");
        exec("exec sp_addtype T_Money, 'numeric(19,4)', 'not null'");
        exec("create table Subject (SubID int not null, SubCode varchar(32) not null, SubName nvarchar(40) null, "
             "Bala T_Money, Rate float null, Stamp datetime null default (getdate()), Flag int not null default (0), "
             "constraint PK_Subject primary key (SubID, SubCode))");
        exec("create table Voucher (VID int not null primary key, SubID int, SubCode varchar(32), "
             "constraint FK_Voucher_Subject foreign key (SubID, SubCode) references Subject (SubID, SubCode) "
             "on delete cascade)");
        exec("create view V_Subject as select SubID, SubName from Subject where Flag = 0");
    }

    // Every row of a query, its values as text joined with "|".
    Strings lines(const std::string& sql)
    {
        Strings out;
        for (const auto& row : rows(sql).rows) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i)
                line += (i ? "|" : "") + (row[i].isNull() ? std::string("NULL") : row[i].toString());
            out.push_back(line);
        }
        return out;
    }

    Strings columnNames(const std::string& view)
    {
        Strings out;
        for (const Column& c : rows("select * from INFORMATION_SCHEMA." + view + " where 1 = 0").columns)
            out.push_back(c.name);
        return out;
    }
};

TEST_F(ConformanceSchema, TablesAndViews)
{
    EXPECT_EQ(lines("select TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE from INFORMATION_SCHEMA.TABLES "
                    "order by TABLE_TYPE, TABLE_NAME"),
              (Strings{"acc|dbo|Subject|BASE TABLE", "acc|dbo|Voucher|BASE TABLE", "acc|dbo|V_Subject|VIEW"}));
    EXPECT_EQ(lines("select TABLE_NAME, CHECK_OPTION, IS_UPDATABLE, VIEW_DEFINITION from INFORMATION_SCHEMA.VIEWS"),
              (Strings{"V_Subject|NONE|NO|create view V_Subject as select SubID, SubName from Subject where Flag = 0"}));
}

TEST_F(ConformanceSchema, ColumnsDescribeTypes)
{
    EXPECT_EQ(lines("select COLUMN_NAME, ORDINAL_POSITION, IS_NULLABLE, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, "
                    "CHARACTER_OCTET_LENGTH, NUMERIC_PRECISION, NUMERIC_PRECISION_RADIX, NUMERIC_SCALE, "
                    "DATETIME_PRECISION, CHARACTER_SET_NAME, COLLATION_NAME, DOMAIN_NAME "
                    "from INFORMATION_SCHEMA.COLUMNS where TABLE_NAME = 'subject' order by ORDINAL_POSITION"),
              (Strings{
                  "SubID|1|NO|int|NULL|NULL|10|10|0|NULL|NULL|NULL|NULL",
                  "SubCode|2|NO|varchar|32|32|NULL|NULL|NULL|NULL|cp936|Chinese_PRC_CI_AS|NULL",
                  "SubName|3|YES|nvarchar|40|80|NULL|NULL|NULL|NULL|UNICODE|Chinese_PRC_CI_AS|NULL",
                  "Bala|4|NO|numeric|NULL|NULL|19|10|4|NULL|NULL|NULL|T_Money",
                  "Rate|5|YES|float|NULL|NULL|53|2|NULL|NULL|NULL|NULL|NULL",
                  "Stamp|6|YES|datetime|NULL|NULL|NULL|NULL|NULL|3|NULL|NULL|NULL",
                  "Flag|7|NO|int|NULL|NULL|10|10|0|NULL|NULL|NULL|NULL",
              }));
    EXPECT_EQ(column("select COLUMN_DEFAULT from INFORMATION_SCHEMA.COLUMNS where COLUMN_NAME in ('Flag', 'Stamp') "
                     "order by ORDINAL_POSITION"),
              (Strings{"(getdate())", "((0))"}));
    exec("create table Defaults (a varchar(8) default ('x y'), b money default (-1.5), c int default 7)");
    EXPECT_EQ(column("select COLUMN_DEFAULT from INFORMATION_SCHEMA.COLUMNS where TABLE_NAME = 'Defaults' "
                     "order by ORDINAL_POSITION"),
              (Strings{"('x y')", "((-1.5))", "((7))"}));
    EXPECT_EQ(text("select COLUMN_DEFAULT from INFORMATION_SCHEMA.COLUMNS where COLUMN_NAME = 'SubID' and "
                   "TABLE_NAME = 'Subject'"),
              "<NULL>");
    // A view's columns are listed too.
    EXPECT_EQ(column("select COLUMN_NAME from INFORMATION_SCHEMA.COLUMNS where TABLE_NAME = 'V_Subject' "
                     "order by ORDINAL_POSITION"),
              (Strings{"SubID", "SubName"}));
}

TEST_F(ConformanceSchema, ViewsHaveSqlServersColumns)
{
    EXPECT_EQ(columnNames("TABLES"), (Strings{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"}));
    EXPECT_EQ(columnNames("COLUMNS"),
              (Strings{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION",
                       "COLUMN_DEFAULT", "IS_NULLABLE", "DATA_TYPE", "CHARACTER_MAXIMUM_LENGTH",
                       "CHARACTER_OCTET_LENGTH", "NUMERIC_PRECISION", "NUMERIC_PRECISION_RADIX", "NUMERIC_SCALE",
                       "DATETIME_PRECISION", "CHARACTER_SET_CATALOG", "CHARACTER_SET_SCHEMA", "CHARACTER_SET_NAME",
                       "COLLATION_CATALOG", "COLLATION_SCHEMA", "COLLATION_NAME", "DOMAIN_CATALOG", "DOMAIN_SCHEMA",
                       "DOMAIN_NAME"}));
    EXPECT_EQ(columnNames("REFERENTIAL_CONSTRAINTS"),
              (Strings{"CONSTRAINT_CATALOG", "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME", "UNIQUE_CONSTRAINT_CATALOG",
                       "UNIQUE_CONSTRAINT_SCHEMA", "UNIQUE_CONSTRAINT_NAME", "MATCH_OPTION", "UPDATE_RULE",
                       "DELETE_RULE"}));
    EXPECT_EQ(columnNames("CONSTRAINT_COLUMN_USAGE"),
              (Strings{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "CONSTRAINT_CATALOG",
                       "CONSTRAINT_SCHEMA", "CONSTRAINT_NAME"}));
    ResultSet types = rows("select ORDINAL_POSITION, NUMERIC_PRECISION, IS_NULLABLE from INFORMATION_SCHEMA.COLUMNS");
    ASSERT_EQ(types.columns.size(), 3u);
    EXPECT_EQ(types.columns[0].type.base, BaseType::Int);
    EXPECT_EQ(types.columns[1].type.base, BaseType::TinyInt);
    EXPECT_EQ(types.columns[2].type.toString(), "varchar(3)");
}

TEST_F(ConformanceSchema, ConstraintsAndTheirColumns)
{
    EXPECT_EQ(lines("select CONSTRAINT_NAME, TABLE_NAME, CONSTRAINT_TYPE, IS_DEFERRABLE from "
                    "INFORMATION_SCHEMA.TABLE_CONSTRAINTS where CONSTRAINT_NAME not like 'PK[_][_]%' "
                    "order by CONSTRAINT_NAME"),
              (Strings{"FK_Voucher_Subject|Voucher|FOREIGN KEY|NO", "PK_Subject|Subject|PRIMARY KEY|NO"}));
    EXPECT_EQ(lines("select CONSTRAINT_NAME, TABLE_NAME, COLUMN_NAME, ORDINAL_POSITION from "
                    "INFORMATION_SCHEMA.KEY_COLUMN_USAGE where TABLE_NAME in ('Subject', 'Voucher') and "
                    "CONSTRAINT_NAME not like 'PK[_][_]%' order by CONSTRAINT_NAME, ORDINAL_POSITION"),
              (Strings{"FK_Voucher_Subject|Voucher|SubID|1", "FK_Voucher_Subject|Voucher|SubCode|2",
                       "PK_Subject|Subject|SubID|1", "PK_Subject|Subject|SubCode|2"}));
    EXPECT_EQ(lines("select CONSTRAINT_NAME, UNIQUE_CONSTRAINT_NAME, MATCH_OPTION, UPDATE_RULE, DELETE_RULE "
                    "from INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS"),
              (Strings{"FK_Voucher_Subject|PK_Subject|SIMPLE|NO ACTION|CASCADE"}));
    EXPECT_EQ(text("select count(*) from INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE where "
                   "CONSTRAINT_NAME = 'PK_Subject'"),
              "2");
}

TEST_F(ConformanceSchema, ViewTableUsage)
{
    exec("create view V_Both as select v.VID, s.SubName from Voucher v join Subject s on s.SubID = v.SubID "
         "where exists (select 1 from V_Subject x where x.SubID = s.SubID)");
    Strings usage = lines("select VIEW_NAME, TABLE_NAME from INFORMATION_SCHEMA.VIEW_TABLE_USAGE");
    std::sort(usage.begin(), usage.end());
    EXPECT_EQ(usage, (Strings{"V_Both|Subject", "V_Both|V_Subject", "V_Both|Voucher", "V_Subject|Subject"}));
    exec("drop view V_Both");
    EXPECT_EQ(column("select VIEW_NAME from INFORMATION_SCHEMA.VIEW_TABLE_USAGE"), (Strings{"V_Subject"}));
    EXPECT_EQ(text("select count(*) from sysdepends where id = object_id('V_Subject') and "
                   "depid = object_id('Subject')"),
              "1");
}

TEST_F(ConformanceSchema, SchemataDomainsAndRoutines)
{
    EXPECT_EQ(text("select count(*) from INFORMATION_SCHEMA.SCHEMATA where SCHEMA_NAME in ('dbo', 'guest', "
                   "'INFORMATION_SCHEMA', 'sys') and CATALOG_NAME = 'acc'"),
              "4");
    EXPECT_EQ(lines("select DOMAIN_SCHEMA, DOMAIN_NAME, DATA_TYPE, NUMERIC_PRECISION, NUMERIC_SCALE from "
                    "INFORMATION_SCHEMA.DOMAINS"),
              (Strings{"dbo|T_Money|numeric|19|4"}));
    EXPECT_EQ(text("select count(*) from INFORMATION_SCHEMA.ROUTINES"), "0");
}

struct NamingCase {
    const char* sql;
    const char* expected;
};

class InformationSchemaNaming : public ConformanceSchema, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(InformationSchemaNaming, ReachesTheViewOfTheRightDatabase)
{
    exec("use master");
    EXPECT_EQ(text(GetParam().sql), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InformationSchemaNaming,
    ::testing::Values(
        NamingCase{"select count(*) from acc.INFORMATION_SCHEMA.TABLES where TABLE_NAME = 'Voucher'", "1"},
        NamingCase{"select count(*) from acc.information_schema.tables t where t.table_name = 'voucher'", "1"},
        NamingCase{"select count(*) from INFORMATION_SCHEMA.TABLES where TABLE_NAME = 'Voucher'", "0"},
        NamingCase{"select min(TABLE_CATALOG) from ACC.Information_Schema.Columns", "acc"},
        NamingCase{"select count(*) from INFORMATION_SCHEMA.TABLES where TABLE_NAME = 'sysobjects'", "0"},
        NamingCase{"select top 1 INFORMATION_SCHEMA.TABLES.TABLE_SCHEMA from acc.INFORMATION_SCHEMA.TABLES",
                   "dbo"}));

TEST_F(ConformanceSchema, UnknownViewsAndDatabases)
{
    SqlError e = errorOf("select * from INFORMATION_SCHEMA.NOPE");
    EXPECT_EQ(e.number, 208);
    EXPECT_EQ(e.message, "Invalid object name 'INFORMATION_SCHEMA.NOPE'.");
    EXPECT_EQ(errorOf("select * from nodb.INFORMATION_SCHEMA.TABLES").number, 911);
    EXPECT_EQ(errorOf("delete from INFORMATION_SCHEMA.TABLES").number, 259);
}

}  // namespace
