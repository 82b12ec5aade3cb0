// Tests of the Transact-SQL parser: statement splitting, the trees built for
// each statement form, expression precedence, the statements the program
// runs verbatim, and SQL Server's syntax error messages.
#include "parser.h"
#include "sqlerror.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace vqsql;
using namespace vqsql::ast;

// ---- a compact rendering of trees, so expectations read as text ----------

std::string show(const Expr* e);
std::string show(const Query& q);

std::string show(const TypeName& t)
{
    std::string s = t.name;
    if (t.length == -1)
        s += "(max)";
    else if (t.length >= 0)
        s += "(" + std::to_string(t.length) + ")";
    if (t.precision >= 0)
        s += "(" + std::to_string(t.precision) + (t.scale >= 0 ? "," + std::to_string(t.scale) : "") + ")";
    else if (t.scale >= 0)
        s += "[s" + std::to_string(t.scale) + "]";
    return s;
}

std::string joinArgs(const std::vector<ExprPtr>& args, std::size_t from, const char* sep)
{
    std::string s;
    for (std::size_t i = from; i < args.size(); ++i)
        s += (i > from ? sep : "") + show(args[i].get());
    return s;
}

std::string show(const Expr* e)
{
    if (e == nullptr)
        return "<default>";
    const std::string neg = e->negated ? "NOT " : "";
    switch (e->kind) {
    case ExprKind::Literal:
        switch (e->litKind) {
        case LiteralKind::Null: return "NULL";
        case LiteralKind::String: return "'" + e->text + "'";
        case LiteralKind::NString: return "N'" + e->text + "'";
        case LiteralKind::Binary: return "bin" + std::to_string(e->text.size());
        default: return e->text;
        }
    case ExprKind::Column: return e->name.toString();
    case ExprKind::Variable:
    case ExprKind::SysVariable: return e->text;
    case ExprKind::Unary: return "(" + e->op + " " + show(e->args[0].get()) + ")";
    case ExprKind::Binary:
    case ExprKind::Compare: return "(" + e->op + " " + joinArgs(e->args, 0, " ") + ")";
    case ExprKind::And: return "(AND " + joinArgs(e->args, 0, " ") + ")";
    case ExprKind::Or: return "(OR " + joinArgs(e->args, 0, " ") + ")";
    case ExprKind::Not: return "(NOT " + show(e->args[0].get()) + ")";
    case ExprKind::Like: return "(" + neg + "LIKE " + joinArgs(e->args, 0, " ") + ")";
    case ExprKind::Between: return "(" + neg + "BETWEEN " + joinArgs(e->args, 0, " ") + ")";
    case ExprKind::InList: return "(" + neg + "IN " + joinArgs(e->args, 0, " ") + ")";
    case ExprKind::InSubquery: return "(" + neg + "IN " + show(e->args[0].get()) + " " + show(*e->query) + ")";
    case ExprKind::Exists: return "(EXISTS " + show(*e->query) + ")";
    case ExprKind::IsNull: return "(IS " + neg + "NULL " + show(e->args[0].get()) + ")";
    case ExprKind::Function:
        if (e->star)
            return e->text + "(*)";
        return e->text + "(" + (e->distinct ? "DISTINCT " : "") + joinArgs(e->args, 0, ",") + ")";
    case ExprKind::Cast: return "CAST(" + show(e->args[0].get()) + " AS " + show(e->type) + ")";
    case ExprKind::Convert: return "CONVERT(" + show(e->type) + "," + joinArgs(e->args, 0, ",") + ")";
    case ExprKind::Case: {
        std::string s = "CASE";
        if (e->hasOperand)
            s += " " + show(e->args[0].get());
        for (const auto& [w, t] : e->whens)
            s += " WHEN " + show(w.get()) + " THEN " + show(t.get());
        if (e->elseExpr)
            s += " ELSE " + show(e->elseExpr.get());
        return s + " END";
    }
    case ExprKind::Subquery: return show(*e->query);
    case ExprKind::Star: return e->name.empty() ? "*" : e->name.toString() + ".*";
    }
    return "?";
}

std::string show(const TableRef& t)
{
    switch (t.kind) {
    case TableRef::Kind::Named: return t.name.toString() + (t.alias.empty() ? "" : " " + t.alias);
    case TableRef::Kind::Derived: return show(*t.query) + " " + t.alias;
    case TableRef::Kind::Join: {
        static const char* const names[] = {"JOIN", "LEFT JOIN", "RIGHT JOIN", "FULL JOIN", "CROSS JOIN"};
        std::string s = "(" + show(*t.left) + " " + names[static_cast<int>(t.joinType)] + " " + show(*t.right);
        if (t.on)
            s += " ON " + show(t.on.get());
        return s + ")";
    }
    }
    return "?";
}

std::string show(const QueryBlock& q)
{
    if (q.nested)
        return "(" + show(*q.nested) + ")";
    std::string s = "[SELECT";
    if (q.distinct)
        s += " DISTINCT";
    if (q.top)
        s += " TOP " + show(q.top.get()) + (q.topPercent ? " PERCENT" : "");
    for (std::size_t i = 0; i < q.items.size(); ++i) {
        const SelectItem& it = q.items[i];
        s += i ? ", " : " ";
        if (!it.assignVariable.empty())
            s += it.assignVariable + " := ";
        s += show(it.expr.get());
        if (!it.alias.empty())
            s += " AS " + it.alias;
    }
    if (!q.into.empty())
        s += " INTO " + q.into.toString();
    for (std::size_t i = 0; i < q.from.size(); ++i)
        s += (i ? ", " : " FROM ") + show(*q.from[i]);
    if (q.where)
        s += " WHERE " + show(q.where.get());
    if (!q.groupBy.empty())
        s += " GROUP BY " + joinArgs(q.groupBy, 0, ",");
    if (q.having)
        s += " HAVING " + show(q.having.get());
    return s + "]";
}

std::string show(const Query& q)
{
    static const char* const ops[] = {"UNION", "UNION ALL", "EXCEPT", "INTERSECT"};
    std::string s = show(*q.blocks[0]);
    for (std::size_t i = 1; i < q.blocks.size(); ++i)
        s += std::string(" ") + ops[static_cast<int>(q.ops[i - 1])] + " " + show(*q.blocks[i]);
    for (std::size_t i = 0; i < q.orderBy.size(); ++i)
        s += (i ? ", " : " ORDER BY ") + show(q.orderBy[i].expr.get()) + (q.orderBy[i].descending ? " DESC" : "");
    return s;
}

template <typename T>
const T& as(const StmtPtr& s)
{
    const T* p = dynamic_cast<const T*>(s.get());
    if (p == nullptr)
        throw std::runtime_error("unexpected statement kind");
    return *p;
}

std::unique_ptr<Batch> parseOne(const std::string& text)
{
    auto b = parseBatch(text);
    if (b->statements.size() != 1)
        throw std::runtime_error("expected one statement in: " + text);
    return b;
}

std::string showSelect(const std::string& text)
{
    auto b = parseOne(text);
    return show(*as<SelectStmt>(b->statements[0]).query);
}

std::string showExpr(const std::string& text) { return show(parseExpression(text).get()); }

// ---- expressions ----------------------------------------------------------

struct ExprCase {
    std::string input;
    std::string expected;
};

class ParserExpressions : public ::testing::TestWithParam<ExprCase> {};

TEST_P(ParserExpressions, BuildsTree)
{
    EXPECT_EQ(showExpr(GetParam().input), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Precedence, ParserExpressions,
    ::testing::Values(
        ExprCase{"1 + 2 * 3", "(+ 1 (* 2 3))"},
        ExprCase{"1 - 2 - 3", "(- (- 1 2) 3)"},
        ExprCase{"a % 2 / b", "(/ (% a 2) b)"},
        ExprCase{"-a * b", "(* (- a) b)"},
        ExprCase{"~a & b | c ^ d", "(^ (| (& (~ a) b) c) d)"},
        ExprCase{"a + 1 = b * 2", "(= (+ a 1) (* b 2))"},
        ExprCase{"a = 1 or b = 2 and c = 3", "(OR (= a 1) (AND (= b 2) (= c 3)))"},
        ExprCase{"not a = 1 and b = 2", "(AND (NOT (= a 1)) (= b 2))"},
        ExprCase{"(a = 1 or b = 2) and c = 3", "(AND (OR (= a 1) (= b 2)) (= c 3))"},
        ExprCase{"a != 1", "(<> a 1)"},
        ExprCase{"a !< 1", "(>= a 1)"},
        ExprCase{"a !> 1", "(<= a 1)"},
        ExprCase{"x between 1 and 2 and y = 3", "(AND (BETWEEN x 1 2) (= y 3))"},
        ExprCase{"x not between a + 1 and b", "(NOT BETWEEN x (+ a 1) b)"},
        ExprCase{"Name like 'VQTCW[_]%' escape '\\'", "(LIKE Name 'VQTCW[_]%' '\\')"},
        ExprCase{"Name not like 'a%' or x is not null", "(OR (NOT LIKE Name 'a%') (IS NOT NULL x))"},
        ExprCase{"x is null", "(IS NULL x)"},
        ExprCase{"x in (1, 2, 'a')", "(IN x 1 2 'a')"},
        ExprCase{"x not in (select a from t)", "(NOT IN x [SELECT a FROM t])"},
        ExprCase{"not exists (select * from t)", "(NOT (EXISTS [SELECT * FROM t]))"}),
    [](const auto& info) { return std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Primaries, ParserExpressions,
    ::testing::Values(
        ExprCase{"NULL", "NULL"},
        ExprCase{"N'中文' + 'x'", "(+ N'中文' 'x')"},
        ExprCase{"0x0102", "bin2"},
        ExprCase{"1.50 + 1e3", "(+ 1.50 1e3)"},
        ExprCase{"db.dbo.t.c + t.c + [db]..t.[c]", "(+ (+ db.dbo.t.c t.c) db..t.c)"},
        ExprCase{"@x + @@ROWCOUNT", "(+ @x @@ROWCOUNT)"},
        ExprCase{"GetDate()", "GetDate()"},
        ExprCase{"dbo.f(1, 2)", "dbo.f(1,2)"},
        ExprCase{"count(*) + count(distinct x)", "(+ count(*) count(DISTINCT x))"},
        ExprCase{"ISNULL(max(KeyID),0)+1", "(+ ISNULL(max(KeyID),0) 1)"},
        ExprCase{"left(Code, 4) + right(Code, 2)", "(+ left(Code,4) right(Code,2))"},
        ExprCase{"coalesce(a, nullif(b, 0))", "coalesce(a,nullif(b,0))"},
        ExprCase{"CURRENT_TIMESTAMP", "CURRENT_TIMESTAMP()"},
        ExprCase{"cast(GetDate() as smalldatetime)", "CAST(GetDate() AS smalldatetime)"},
        ExprCase{"CAST(x AS numeric(19,4))", "CAST(x AS numeric(19,4))"},
        ExprCase{"cast(x as varchar(max))", "CAST(x AS varchar(max))"},
        ExprCase{"convert(varchar(10), d, 120)", "CONVERT(varchar(10),d,120)"},
        ExprCase{"case x when 1 then 'a' when 2 then 'b' else 'c' end", "CASE x WHEN 1 THEN 'a' WHEN 2 THEN 'b' ELSE 'c' END"},
        ExprCase{"case when a > 1 then 1 end", "CASE WHEN (> a 1) THEN 1 END"},
        ExprCase{"(select max(a) from t) + 1", "(+ [SELECT max(a) FROM t] 1)"},
        ExprCase{"dateadd(day, 1, Date)", "dateadd(day,1,Date)"}),
    [](const auto& info) { return std::to_string(info.index); });

// Column defaults as the catalogue keeps them.
INSTANTIATE_TEST_SUITE_P(
    Defaults, ParserExpressions,
    ::testing::Values(ExprCase{"((0))", "0"}, ExprCase{"(getdate())", "getdate()"},
                      ExprCase{"('abc')", "'abc'"}, ExprCase{"(-1)", "(- 1)"},
                      ExprCase{"(N'x')", "N'x'"}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(Parser, ExpressionPositionsAndTexts)
{
    auto e = parseExpression("a +\n  GetDate()");
    EXPECT_EQ(e->pos.line, 1);
    EXPECT_EQ(e->args[1]->pos.line, 2);
    EXPECT_EQ(e->args[1]->pos.column, 3);
    EXPECT_EQ(e->args[1]->name.parts, std::vector<std::string>{"GetDate"});
    auto q = parseExpression("dbo.f(1)");
    EXPECT_EQ(q->name.parts, (std::vector<std::string>{"dbo", "f"}));
}

TEST(Parser, ExpressionRejectsTrailingTokens)
{
    EXPECT_THROW(parseExpression("1 2"), SqlException);
    EXPECT_THROW(parseExpression(""), SqlException);
}

// ---- SELECT -----------------------------------------------------------------

struct SelectCase {
    std::string input;
    std::string expected;
};

class ParserSelect : public ::testing::TestWithParam<SelectCase> {};

TEST_P(ParserSelect, BuildsQuery)
{
    EXPECT_EQ(showSelect(GetParam().input), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Select, ParserSelect,
    ::testing::Values(
        SelectCase{"select * from t", "[SELECT * FROM t]"},
        SelectCase{"select a.*, b.Name as N1 from t a", "[SELECT a.*, b.Name AS N1 FROM t a]"},
        SelectCase{"select a x, b as [y z], c 'w', d as 'v', 'k' = e, f = g, [h] = 1 from t",
                   "[SELECT a AS x, b AS y z, c AS w, d AS v, e AS k, g AS f, 1 AS h FROM t]"},
        SelectCase{"select @v = max(a), @w = 1 from t", "[SELECT @v := max(a), @w := 1 FROM t]"},
        SelectCase{"select distinct top 10 a from t", "[SELECT DISTINCT TOP 10 a FROM t]"},
        SelectCase{"select top (5) percent a from t", "[SELECT TOP 5 PERCENT a FROM t]"},
        SelectCase{"select Name, Version, Password, Type, Code, Level, Closed, Value, Text, Date, Year, Month, Day, Status, Size, Path from t",
                   "[SELECT Name, Version, Password, Type, Code, Level, Closed, Value, Text, Date, Year, Month, Day, Status, Size, Path FROM t]"},
        SelectCase{"select 1 from a, b c, master..sysdatabases", "[SELECT 1 FROM a, b c, master..sysdatabases]"},
        SelectCase{"select 1 from a join b on a.x = b.x inner join c on 1=1",
                   "[SELECT 1 FROM ((a JOIN b ON (= a.x b.x)) JOIN c ON (= 1 1))]"},
        SelectCase{"select 1 from a left outer join b on 1=1 right join c on 1=1 full join d on 1=1 cross join e",
                   "[SELECT 1 FROM ((((a LEFT JOIN b ON (= 1 1)) RIGHT JOIN c ON (= 1 1)) FULL JOIN d ON (= 1 1)) CROSS JOIN e)]"},
        SelectCase{"select 1 from (a join b on 1=1)", "[SELECT 1 FROM (a JOIN b ON (= 1 1))]"},
        SelectCase{"select x from (select 1 as x) as d", "[SELECT x FROM [SELECT 1 AS x] d]"},
        SelectCase{"select 1 from t with (nolock) a, u (nolock)", "[SELECT 1 FROM t a, u]"},
        SelectCase{"select a, count(*) from t where b > 0 group by a having count(*) > 1 order by a desc, 2",
                   "[SELECT a, count(*) FROM t WHERE (> b 0) GROUP BY a HAVING (> count(*) 1)] ORDER BY a DESC, 2"},
        SelectCase{"select 1 union select 2 union all select 3 except select 4 intersect select 5 order by 1",
                   "[SELECT 1] UNION [SELECT 2] UNION ALL [SELECT 3] EXCEPT ([SELECT 4] INTERSECT [SELECT 5]) ORDER BY 1"},
        SelectCase{"(select 1) union (select 2)", "[SELECT 1] UNION [SELECT 2]"},
        SelectCase{"select @@Version as VersionName", "[SELECT @@Version AS VersionName]"}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(Parser, SelectPositionsAndOffsets)
{
    auto b = parseBatch("select 1\n  select 2 ;");
    ASSERT_EQ(b->statements.size(), 2u);
    EXPECT_EQ(b->statements[1]->pos.line, 2);
    EXPECT_EQ(b->statements[1]->pos.column, 3);
    EXPECT_EQ(b->statements[0]->endOffset, 8u);
    EXPECT_EQ(b->text.substr(b->statements[1]->pos.offset, b->statements[1]->endOffset - b->statements[1]->pos.offset), "select 2");
}

// ---- statement splitting ----------------------------------------------------

struct SplitCase {
    std::string input;
    std::vector<StmtKind> kinds;
};

class ParserSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ParserSplit, SplitsLikeSqlServer)
{
    auto b = parseBatch(GetParam().input);
    std::vector<StmtKind> kinds;
    for (const auto& s : b->statements)
        kinds.push_back(s->kind);
    EXPECT_EQ(kinds, GetParam().kinds) << GetParam().input;
}

using SK = StmtKind;

INSTANTIATE_TEST_SUITE_P(
    Split, ParserSplit,
    ::testing::Values(
        SplitCase{"", {}},
        SplitCase{"  -- only a comment\r\n/* and another */ ", {}},
        SplitCase{";;", {}},
        SplitCase{"select 1 select 2", {SK::Select, SK::Select}},
        SplitCase{";select 1;; select 2;", {SK::Select, SK::Select}},
        SplitCase{"delete from t insert into t values (1) update t set a = 1", {SK::Delete, SK::Insert, SK::Update}},
        SplitCase{"select a from t order by a print 'x' use master", {SK::Select, SK::Print, SK::Use}},
        SplitCase{"begin tran insert into t values(1) commit", {SK::BeginTran, SK::Insert, SK::CommitTran}},
        SplitCase{"begin transaction t1 rollback transaction t1", {SK::BeginTran, SK::RollbackTran}},
        SplitCase{"begin select 1 select 2 end select 3", {SK::Block, SK::Select}},
        SplitCase{"while @i < 3 begin set @i += 1 if @i = 2 break else continue end return",
                  {SK::While, SK::Return}},
        SplitCase{"exec p 1 select 2", {SK::Exec, SK::Select}},
        SplitCase{"return 1 select 2", {SK::Return, SK::Select}},
        SplitCase{"set nocount on declare @a int", {SK::SetOption, SK::Declare}}),
    [](const auto& info) { return std::to_string(info.index); });

// ---- the statements the program runs verbatim --------------------------------

class ParserProgramStatements : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ParserProgramStatements, Parse)
{
    auto b = parseBatch(GetParam().input);
    std::vector<StmtKind> kinds;
    for (const auto& s : b->statements)
        kinds.push_back(s->kind);
    EXPECT_EQ(kinds, GetParam().kinds) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Program, ParserProgramStatements,
    ::testing::Values(
        SplitCase{" declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, Closed) values( @MaxID,'127.0.0.1','host',5000,'001','name','op', GetDate(), 0) ",
                  {SK::Declare, SK::Select, SK::Insert}},
        SplitCase{" declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from DBVersion  insert into DBVersion(KeyID,Version,ReleaseDate)  values( @MaxID,'PKV121224',cast(GetDate() as smalldatetime)) ",
                  {SK::Declare, SK::Select, SK::Insert}},
        SplitCase{"delete from T_Options\r\nwhere Name like 'VQTCW_%'\r\n  and Name not in (select 'VQTCW_'+DBName from AccList)", {SK::Delete}},
        SplitCase{"if exists (select 1 from master..sysdatabases where Name='VQTCW_001')\r\nbegin\r\n  if exists (select 1 from T_Options where Name='VQTCW_001')\r\n    update T_Options\r\n    set TxtValue=(select [Password] from [VQTCW_001]..T_Operator where KeyID=1)\r\n    where Name='VQTCW_001'\r\n  else\r\n   insert into T_Options(KeyID, Name, TxtValue)\r\n   select (select isnull(max(KeyID),0)+1 from T_Options), 'VQTCW_001',\r\n          (select [Password] from [VQTCW_001]..T_Operator where KeyID=1)\r\nend",
                  {SK::If}},
        SplitCase{"use master\r\nrestore database [X]\r\nfrom disk = '/tmp/a.mdk'\r\nwith move 'A' to '/d/X.mdf',\r\n     move 'A_log' to '/d/X_log.ldf', Replace\r\n\r\nuse master\r\nalter Database [X]\r\nmodify file (name=[A],NewName=[X])\r\n",
                  {SK::Use, SK::Restore, SK::Use, SK::AlterDatabase}},
        SplitCase{" if exists (select name from master.dbo.sysdatabases  where name='VQTCW_1') drop database [VQTCW_1]", {SK::If}},
        SplitCase{" if not exists (select name from master.dbo.sysdatabases  where name='VQTCW_1') delete from AccList where KeyID=3", {SK::If}},
        SplitCase{"select KeyID, substring(Code,1,4)+ (case when 3<=3 then substring(Code,5+3-3,3) else (case when len(Code)>4 then replicate('0',3-3) else '' end)+ substring(Code,5,3) end) as Code, (case when len(Code)=4 then Name when len(Code)=7 then '  '+Name when len(Code)>7 then '    '+Name end) as Name from VQTCWPack.dbo.CW_SubTemp where SubKind=0 order by Code",
                  {SK::Select}},
        SplitCase{"select * from (  select substring(name,7,64) as DBName from master..sysdatabases where name like 'VQTCW[_]%') a where DBName not in (select DBName from VQTCWAccList..AccList where DelFlag=0)",
                  {SK::Select}},
        SplitCase{"select @@Version as VersionName", {SK::Select}},
        SplitCase{"if exists (select * from sysobjects where name='V_SubAllName' and xtype='V') drop view V_SubAllName", {SK::If}},
        SplitCase{"create view V_SubAllName as select a.*, b.Name as N1 from CW_Subject a left join CW_Subject b on b.Code=substring(a.Code,1,4) and b.Grade=1",
                  {SK::CreateView}},
        SplitCase{"CREATE TABLE [dbo].[RT_CashFlowS] ([YearMon] [T_INTEGER] NOT NULL ,[SecID] [T_INTEGER] NOT NULL ,[CFName] [T_VA128] NULL ,[Amount] [T_MONEY] NULL ,CONSTRAINT [PK_RT_CASHFLOWS] PRIMARY KEY NONCLUSTERED ([YearMon],[SecID]) ON [PRIMARY]) ON [PRIMARY]",
                  {SK::CreateTable}},
        SplitCase{"alter table CW_Subject add SubTag T_INTEGER null", {SK::AlterTable}},
        SplitCase{"insert into CW_SubType select * from [VQTCW_002]..CW_SubType", {SK::Insert}},
        SplitCase{"update T_Options set TxtValue=(select TxtValue from [VQTCW_9]..T_Options where Name='SubGrade1') where Name='SubGrade1'", {SK::Update}},
        SplitCase{"insert into T_PrivGrp(KeyID, Code, Name, Remark) select KeyID, Code, Name, Remark from VQTCWPack.dbo.T_PrivGrp where KeyID not in (select KeyID from T_PrivGrp)", {SK::Insert}},
        SplitCase{"sp_addtype T_KEYID, 'int', 'NOT NULL'", {SK::Exec}},
        SplitCase{"sp_addtype N'T_VA32', N'varchar(32)', N'null'", {SK::Exec}}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(Parser, IfElseInsideBlockKeepsBranches)
{
    auto b = parseOne(
        "if exists (select 1 from master..sysdatabases where Name='V')\r\nbegin\r\n"
        "  if exists (select 1 from T_Options where Name='V')\r\n    update T_Options set TxtValue=(select [Password] from [V]..T_Operator where KeyID=1) where Name='V'\r\n"
        "  else\r\n   insert into T_Options(KeyID, Name) select (select isnull(max(KeyID),0)+1 from T_Options), 'V'\r\nend");
    const auto& outer = as<IfStmt>(b->statements[0]);
    EXPECT_EQ(show(outer.condition.get()), "(EXISTS [SELECT 1 FROM master..sysdatabases WHERE (= Name 'V')])");
    EXPECT_EQ(outer.elseStmt, nullptr);
    const auto& block = as<BlockStmt>(outer.thenStmt);
    ASSERT_EQ(block.body.size(), 1u);
    const auto& inner = as<IfStmt>(block.body[0]);
    const auto& upd = as<UpdateStmt>(inner.thenStmt);
    EXPECT_EQ(upd.table.toString(), "T_Options");
    ASSERT_EQ(upd.assignments.size(), 1u);
    EXPECT_EQ(upd.assignments[0].column.toString(), "TxtValue");
    EXPECT_EQ(show(upd.assignments[0].value.get()), "[SELECT Password FROM V..T_Operator WHERE (= KeyID 1)]");
    EXPECT_EQ(show(upd.where.get()), "(= Name 'V')");
    const auto& ins = as<InsertStmt>(inner.elseStmt);
    EXPECT_EQ(ins.columns, (std::vector<std::string>{"KeyID", "Name"}));
    EXPECT_EQ(show(*ins.query), "[SELECT [SELECT (+ isnull(max(KeyID),0) 1) FROM T_Options], 'V']");
    EXPECT_EQ(inner.pos.line, 3);
}

// ---- DML ----------------------------------------------------------------------

TEST(Parser, InsertForms)
{
    auto b = parseBatch(
        "insert into t (a, [b]) values (1, default), (2, 'x')\n"
        "insert t default values\n"
        "insert t select 1\n"
        "insert into t (select 1)");
    ASSERT_EQ(b->statements.size(), 4u);
    const auto& i0 = as<InsertStmt>(b->statements[0]);
    EXPECT_EQ(i0.columns, (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(i0.values.size(), 2u);
    EXPECT_EQ(i0.values[0][1], nullptr);  // DEFAULT
    EXPECT_EQ(show(i0.values[1][1].get()), "'x'");
    EXPECT_TRUE(as<InsertStmt>(b->statements[1]).defaultValues);
    EXPECT_EQ(show(*as<InsertStmt>(b->statements[2]).query), "[SELECT 1]");
    EXPECT_TRUE(as<InsertStmt>(b->statements[3]).columns.empty());
    EXPECT_EQ(show(*as<InsertStmt>(b->statements[3]).query), "[SELECT 1]");
}

TEST(Parser, UpdateForms)
{
    auto b = parseOne("update top (2) a set a.x = 1, y += 2, @v = y, z = default from t a join u on a.k = u.k where u.q = 1");
    const auto& u = as<UpdateStmt>(b->statements[0]);
    EXPECT_EQ(show(u.top.get()), "2");
    ASSERT_EQ(u.assignments.size(), 4u);
    EXPECT_EQ(u.assignments[0].column.toString(), "a.x");
    EXPECT_EQ(show(u.assignments[1].value.get()), "(+ y 2)");
    EXPECT_EQ(u.assignments[2].variable, "@v");
    EXPECT_EQ(u.assignments[3].value, nullptr);
    ASSERT_EQ(u.from.size(), 1u);
    EXPECT_EQ(show(*u.from[0]), "(t a JOIN u ON (= a.k u.k))");
    EXPECT_EQ(show(u.where.get()), "(= u.q 1)");
}

TEST(Parser, DeleteAndTruncate)
{
    auto b = parseBatch("delete t where a = 1 delete from t from t join u on t.k = u.k truncate table dbo.t");
    ASSERT_EQ(b->statements.size(), 3u);
    EXPECT_EQ(show(as<DeleteStmt>(b->statements[0]).where.get()), "(= a 1)");
    EXPECT_EQ(as<DeleteStmt>(b->statements[1]).from.size(), 1u);
    EXPECT_EQ(as<TruncateStmt>(b->statements[2]).table.parts, (std::vector<std::string>{"dbo", "t"}));
}

// ---- DDL ------------------------------------------------------------------------

TEST(Parser, CreateTableWithUserTypesAndKey)
{
    auto b = parseOne("CREATE TABLE [dbo].[RT_CashFlowS] ([YearMon] [T_INTEGER] NOT NULL ,[SecID] [T_INTEGER] NOT NULL ,[CFName] [T_VA128] NULL ,[Amount] [T_MONEY] NULL ,CONSTRAINT [PK_RT_CASHFLOWS] PRIMARY KEY NONCLUSTERED ([YearMon],[SecID]) ON [PRIMARY]) ON [PRIMARY]");
    const auto& c = as<CreateTableStmt>(b->statements[0]);
    EXPECT_EQ(c.table.parts, (std::vector<std::string>{"dbo", "RT_CashFlowS"}));
    ASSERT_EQ(c.columns.size(), 4u);
    EXPECT_EQ(c.columns[0].name, "YearMon");
    EXPECT_EQ(c.columns[0].type.name, "T_INTEGER");
    EXPECT_EQ(c.columns[0].nullable, false);
    EXPECT_EQ(c.columns[2].type.name, "T_VA128");
    EXPECT_EQ(c.columns[2].nullable, true);
    ASSERT_EQ(c.constraints.size(), 1u);
    const TableConstraint& k = c.constraints[0];
    EXPECT_EQ(k.kind, TableConstraint::Kind::PrimaryKey);
    EXPECT_EQ(k.name, "PK_RT_CASHFLOWS");
    EXPECT_FALSE(k.clustered);
    ASSERT_EQ(k.keyColumns.size(), 2u);
    EXPECT_EQ(show(k.keyColumns[1].expr.get()), "SecID");
}

TEST(Parser, CreateTableColumnOptions)
{
    auto b = parseOne(
        "create table t (\n"
        " id int identity(10, -2) not null constraint pk primary key,\n"
        " a varchar(32) collate Chinese_PRC_CI_AS constraint df_a default ('x') null,\n"
        " b numeric(19,4) default ((0)) check (b >= 0),\n"
        " c datetime default getdate(),\n"
        " d nvarchar(max) unique nonclustered,\n"
        " e int references u(k) on delete cascade,\n"
        " unique clustered (a desc, b),\n"
        " check (a <> ''),\n"
        " constraint fk foreign key (e) references dbo.u (k, l)\n"
        ") on [PRIMARY] textimage_on [PRIMARY]");
    const auto& c = as<CreateTableStmt>(b->statements[0]);
    ASSERT_EQ(c.columns.size(), 6u);
    const ColumnDef& id = c.columns[0];
    EXPECT_TRUE(id.identity);
    EXPECT_EQ(id.identitySeed, 10);
    EXPECT_EQ(id.identityIncrement, -2);
    EXPECT_TRUE(id.primaryKey);
    EXPECT_EQ(id.keyName, "pk");
    EXPECT_TRUE(id.clustered);
    const ColumnDef& a = c.columns[1];
    EXPECT_EQ(show(a.type), "varchar(32)");
    EXPECT_EQ(a.collation, "Chinese_PRC_CI_AS");
    EXPECT_EQ(a.defaultName, "df_a");
    EXPECT_EQ(show(a.defaultValue.get()), "'x'");
    EXPECT_EQ(a.nullable, true);
    EXPECT_EQ(show(c.columns[2].type), "numeric(19,4)");
    EXPECT_EQ(show(c.columns[2].defaultValue.get()), "0");
    EXPECT_EQ(show(c.columns[2].check.get()), "(>= b 0)");
    EXPECT_FALSE(c.columns[2].nullable.has_value());
    EXPECT_EQ(show(c.columns[3].defaultValue.get()), "getdate()");
    EXPECT_EQ(show(c.columns[4].type), "nvarchar(max)");
    EXPECT_TRUE(c.columns[4].unique);
    EXPECT_FALSE(c.columns[4].clustered);
    ASSERT_EQ(c.constraints.size(), 3u);
    EXPECT_EQ(c.constraints[0].kind, TableConstraint::Kind::Unique);
    EXPECT_TRUE(c.constraints[0].clustered);
    EXPECT_TRUE(c.constraints[0].keyColumns[0].descending);
    EXPECT_EQ(c.constraints[1].kind, TableConstraint::Kind::Check);
    EXPECT_EQ(c.constraints[2].kind, TableConstraint::Kind::ForeignKey);
    EXPECT_EQ(c.constraints[2].refTable.toString(), "dbo.u");
    EXPECT_EQ(c.constraints[2].refColumns, (std::vector<std::string>{"k", "l"}));
}

TEST(Parser, AlterTableForms)
{
    auto b = parseBatch(
        "alter table CW_Subject add SubTag T_INTEGER null, Other int\n"
        "alter table t add constraint df default 0 for c\n"
        "alter table t with nocheck add constraint pk primary key (a)\n"
        "alter table t drop column a, b\n"
        "alter table t drop constraint df\n"
        "alter table t alter column a varchar(20) not null");
    ASSERT_EQ(b->statements.size(), 6u);
    const auto& a0 = as<AlterTableStmt>(b->statements[0]);
    EXPECT_EQ(a0.action, AlterTableStmt::Action::Add);
    ASSERT_EQ(a0.columns.size(), 2u);
    EXPECT_EQ(a0.columns[0].type.name, "T_INTEGER");
    EXPECT_EQ(a0.columns[0].nullable, true);
    const auto& a1 = as<AlterTableStmt>(b->statements[1]);
    ASSERT_EQ(a1.constraints.size(), 1u);
    EXPECT_EQ(a1.constraints[0].kind, TableConstraint::Kind::Default);
    EXPECT_EQ(a1.constraints[0].defaultColumn, "c");
    EXPECT_EQ(as<AlterTableStmt>(b->statements[2]).constraints[0].kind, TableConstraint::Kind::PrimaryKey);
    EXPECT_EQ(as<AlterTableStmt>(b->statements[3]).action, AlterTableStmt::Action::DropColumn);
    EXPECT_EQ(as<AlterTableStmt>(b->statements[3]).names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(as<AlterTableStmt>(b->statements[4]).action, AlterTableStmt::Action::DropConstraint);
    const auto& a5 = as<AlterTableStmt>(b->statements[5]);
    EXPECT_EQ(a5.action, AlterTableStmt::Action::AlterColumn);
    EXPECT_EQ(show(a5.columns[0].type), "varchar(20)");
    EXPECT_EQ(a5.columns[0].nullable, false);
}

TEST(Parser, CreateViewRecordsQueryOffset)
{
    const std::string text = "create view V_SubAllName as select a.*, b.Name as N1 from CW_Subject a left join CW_Subject b on b.Code=substring(a.Code,1,4) and b.Grade=1";
    auto b = parseOne(text);
    const auto& v = as<CreateViewStmt>(b->statements[0]);
    EXPECT_EQ(v.view.toString(), "V_SubAllName");
    EXPECT_EQ(text.substr(v.queryOffset, 9), "select a.");
    EXPECT_EQ(show(*v.query),
              "[SELECT a.*, b.Name AS N1 FROM (CW_Subject a LEFT JOIN CW_Subject b ON (AND (= b.Code substring(a.Code,1,4)) (= b.Grade 1)))]");
    auto cols = parseOne("create view v (x, y) as select 1, 2");
    EXPECT_EQ(as<CreateViewStmt>(cols->statements[0]).columns, (std::vector<std::string>{"x", "y"}));
}

TEST(Parser, CreateIndexTypeAndDrop)
{
    auto b = parseBatch(
        "create unique clustered index ix on dbo.t (a desc, b) with (pad_index = off) on [PRIMARY]\n"
        "create index ix2 on t (c)\n"
        "create type T_VA32 from varchar(32) not null\n"
        "drop table if exists a, dbo.b\n"
        "drop index t.ix drop index ix on dbo.t\n"
        "drop view v drop type T_X drop proc p drop procedure q\n"
        "drop database if exists x, [y]");
    ASSERT_EQ(b->statements.size(), 11u);
    const auto& ix = as<CreateIndexStmt>(b->statements[0]);
    EXPECT_TRUE(ix.unique);
    EXPECT_TRUE(ix.clustered);
    EXPECT_EQ(ix.name, "ix");
    EXPECT_EQ(ix.table.toString(), "dbo.t");
    EXPECT_TRUE(ix.columns[0].descending);
    EXPECT_FALSE(as<CreateIndexStmt>(b->statements[1]).unique);
    EXPECT_FALSE(as<CreateIndexStmt>(b->statements[1]).clustered);
    const auto& ty = as<CreateTypeStmt>(b->statements[2]);
    EXPECT_EQ(ty.name.toString(), "T_VA32");
    EXPECT_EQ(show(ty.base), "varchar(32)");
    EXPECT_EQ(ty.nullable, false);
    const auto& d = as<DropStmt>(b->statements[3]);
    EXPECT_TRUE(d.ifExists);
    ASSERT_EQ(d.names.size(), 2u);
    EXPECT_EQ(d.names[1].toString(), "dbo.b");
    EXPECT_EQ(as<DropStmt>(b->statements[4]).names[0].parts, (std::vector<std::string>{"t", "ix"}));
    EXPECT_EQ(as<DropStmt>(b->statements[5]).names[0].parts, (std::vector<std::string>{"dbo", "t", "ix"}));
    EXPECT_EQ(as<DropStmt>(b->statements[6]).object, DropStmt::Object::View);
    EXPECT_EQ(as<DropStmt>(b->statements[7]).object, DropStmt::Object::Type);
    EXPECT_EQ(as<DropStmt>(b->statements[8]).object, DropStmt::Object::Procedure);
    EXPECT_EQ(as<DropStmt>(b->statements[9]).object, DropStmt::Object::Procedure);
    const auto& dd = as<DropDatabaseStmt>(b->statements[10]);
    EXPECT_TRUE(dd.ifExists);
    EXPECT_EQ(dd.databases, (std::vector<std::string>{"x", "y"}));
}

// ---- variables, options, control flow -----------------------------------------

TEST(Parser, DeclareAndSet)
{
    auto b = parseBatch(
        "declare @a int, @b varchar(10) = 'x', @c as numeric(10)\n"
        "set @a = 1 set @a -= 2\n"
        "set nocount on set DateFormat ymd set language N'简体中文' set identity_insert dbo.t on\n"
        "set ansi_nulls, quoted_identifier off set transaction isolation level read committed\n"
        "set lock_timeout -1");
    ASSERT_EQ(b->statements.size(), 10u);
    const auto& d = as<DeclareStmt>(b->statements[0]);
    ASSERT_EQ(d.variables.size(), 3u);
    EXPECT_EQ(d.variables[1].name, "@b");
    EXPECT_EQ(show(d.variables[1].type), "varchar(10)");
    EXPECT_EQ(show(d.variables[1].init.get()), "'x'");
    EXPECT_EQ(show(d.variables[2].type), "numeric(10)");
    EXPECT_EQ(as<SetVariableStmt>(b->statements[2]).op, "-=");
    const auto& nocount = as<SetOptionStmt>(b->statements[3]);
    EXPECT_EQ(nocount.option, "NOCOUNT");
    EXPECT_EQ(nocount.value, "on");
    EXPECT_EQ(as<SetOptionStmt>(b->statements[4]).option, "DATEFORMAT");
    EXPECT_EQ(as<SetOptionStmt>(b->statements[4]).value, "ymd");
    EXPECT_EQ(as<SetOptionStmt>(b->statements[5]).value, "简体中文");
    const auto& ii = as<SetOptionStmt>(b->statements[6]);
    EXPECT_EQ(ii.option, "IDENTITY_INSERT");
    EXPECT_EQ(ii.table.toString(), "dbo.t");
    const auto& two = as<BlockStmt>(b->statements[7]);
    ASSERT_EQ(two.body.size(), 2u);
    EXPECT_EQ(as<SetOptionStmt>(two.body[1]).option, "QUOTED_IDENTIFIER");
    EXPECT_EQ(as<SetOptionStmt>(b->statements[8]).value, "read committed");
    EXPECT_EQ(as<SetOptionStmt>(b->statements[9]).value, "-1");
}

TEST(Parser, ControlFlow)
{
    auto b = parseBatch(
        "if @a = 1 print 'one' else if @a = 2 print 'two' else begin print 'many'; return end\n"
        "while @i < 10 begin set @i = @i + 1 if @i > 5 break continue end\n"
        "return (select 1)");
    ASSERT_EQ(b->statements.size(), 3u);
    const auto& i = as<IfStmt>(b->statements[0]);
    EXPECT_EQ(i.thenStmt->kind, StmtKind::Print);
    const auto& i2 = as<IfStmt>(i.elseStmt);
    const auto& blk = as<BlockStmt>(i2.elseStmt);
    ASSERT_EQ(blk.body.size(), 2u);
    EXPECT_EQ(as<ReturnStmt>(blk.body[1]).value, nullptr);
    const auto& w = as<WhileStmt>(b->statements[1]);
    EXPECT_EQ(as<BlockStmt>(w.body).body.size(), 3u);
    EXPECT_EQ(show(as<ReturnStmt>(b->statements[2]).value.get()), "[SELECT 1]");
}

TEST(Parser, TransactionNames)
{
    auto b = parseBatch("begin tran T1 commit tran T1 begin transaction rollback commit work rollback tran");
    ASSERT_EQ(b->statements.size(), 6u);
    EXPECT_EQ(as<SimpleStmt>(b->statements[0]).name, "T1");
    EXPECT_EQ(as<SimpleStmt>(b->statements[1]).name, "T1");
    EXPECT_EQ(b->statements[3]->kind, StmtKind::RollbackTran);
    EXPECT_EQ(b->statements[4]->kind, StmtKind::CommitTran);
}

// ---- EXEC -----------------------------------------------------------------------

TEST(Parser, ExecForms)
{
    auto b = parseBatch(
        "exec @r = dbo.p 1, @x = 'a', @y = @z output, default, -5, Word\n"
        "execute ('select ' + @c)\n"
        "EXEC master..sp_who");
    ASSERT_EQ(b->statements.size(), 3u);
    const auto& e = as<ExecStmt>(b->statements[0]);
    EXPECT_EQ(e.returnVariable, "@r");
    EXPECT_EQ(e.procedure.toString(), "dbo.p");
    ASSERT_EQ(e.args.size(), 6u);
    EXPECT_EQ(e.args[0].parameter, "");
    EXPECT_EQ(e.args[1].parameter, "@x");
    EXPECT_EQ(show(e.args[1].value.get()), "'a'");
    EXPECT_TRUE(e.args[2].output);
    EXPECT_EQ(show(e.args[2].value.get()), "@z");
    EXPECT_EQ(e.args[3].value, nullptr);
    EXPECT_EQ(show(e.args[4].value.get()), "(- 5)");
    EXPECT_EQ(show(e.args[5].value.get()), "'Word'");
    const auto& dyn = as<ExecStmt>(b->statements[1]);
    EXPECT_TRUE(dyn.procedure.empty());
    EXPECT_EQ(show(dyn.dynamicSql.get()), "(+ 'select ' @c)");
    EXPECT_EQ(as<ExecStmt>(b->statements[2]).procedure.parts, (std::vector<std::string>{"master", "", "sp_who"}));
}

TEST(Parser, ProcedureCallFirstInBatchNeedsNoExec)
{
    auto b = parseOne("sp_addtype T_KEYID, 'int', 'NOT NULL'");
    const auto& e = as<ExecStmt>(b->statements[0]);
    EXPECT_EQ(e.procedure.toString(), "sp_addtype");
    ASSERT_EQ(e.args.size(), 3u);
    EXPECT_EQ(show(e.args[0].value.get()), "'T_KEYID'");
    EXPECT_EQ(show(e.args[2].value.get()), "'NOT NULL'");
    auto n = parseOne("sp_addtype N'T_VA32', N'varchar(32)', N'null'");
    EXPECT_EQ(show(as<ExecStmt>(n->statements[0]).args[1].value.get()), "N'varchar(32)'");
    // Not first in the batch: a bare word is no statement.
    EXPECT_THROW(parseBatch("select 1 sp_addtype T_KEYID, 'int'"), SqlException);
}

// ---- databases, backup, restore ---------------------------------------------------

TEST(Parser, DatabaseStatements)
{
    auto b = parseBatch(
        "create database X on primary (name = X_dat, filename = '/d/X.mdf', size = 10MB, filegrowth = 10%)"
        " log on (name = 'X_log', filename = N'/d/X_log.ldf')\n"
        "alter Database [X]\r\nmodify file (name=[A],NewName=[X])\n"
        "alter database X modify file (name = A, filename = '/d/new.mdf')\n"
        "alter database X modify name = Y\n"
        "alter database X set single_user with rollback immediate\n"
        "alter database X set recovery simple, auto_close off\n"
        "use [X]");
    ASSERT_EQ(b->statements.size(), 7u);
    const auto& c = as<CreateDatabaseStmt>(b->statements[0]);
    EXPECT_EQ(c.database, "X");
    ASSERT_EQ(c.dataFiles.size(), 1u);
    EXPECT_EQ(c.dataFiles[0].logicalName, "X_dat");
    EXPECT_EQ(show(c.dataFiles[0].fileName.get()), "'/d/X.mdf'");
    ASSERT_EQ(c.logFiles.size(), 1u);
    EXPECT_EQ(c.logFiles[0].logicalName, "X_log");
    const auto& m = as<AlterDatabaseStmt>(b->statements[1]);
    EXPECT_EQ(m.action, AlterDatabaseStmt::Action::ModifyFile);
    EXPECT_EQ(m.file.logicalName, "A");
    EXPECT_EQ(m.file.newName, "X");
    EXPECT_EQ(show(as<AlterDatabaseStmt>(b->statements[2]).file.fileName.get()), "'/d/new.mdf'");
    EXPECT_EQ(as<AlterDatabaseStmt>(b->statements[3]).newName, "Y");
    EXPECT_EQ(as<AlterDatabaseStmt>(b->statements[4]).options, (std::vector<std::string>{"single_user with rollback immediate"}));
    EXPECT_EQ(as<AlterDatabaseStmt>(b->statements[5]).options, (std::vector<std::string>{"recovery simple", "auto_close off"}));
    EXPECT_EQ(as<UseStmt>(b->statements[6]).database, "X");
}

TEST(Parser, BackupAndRestore)
{
    auto b = parseBatch(
        "backup database [VQTCW_001] to disk = '/b/x.bak' with init, name = 'full'\n"
        "use master\r\nrestore database [X]\r\nfrom disk = '/tmp/a.mdk'\r\nwith move 'A' to '/d/X.mdf',\r\n     move 'A_log' to '/d/X_log.ldf', Replace, stats = 10\r\n"
        " restore FileListOnly from disk = 'x'\n"
        "RESTORE HEADERONLY FROM DISK = @f RESTORE VERIFYONLY FROM DISK = N'y' with file = 1");
    ASSERT_EQ(b->statements.size(), 6u);
    const auto& bk = as<BackupStmt>(b->statements[0]);
    EXPECT_EQ(bk.database, "VQTCW_001");
    EXPECT_EQ(show(bk.disk.get()), "'/b/x.bak'");
    EXPECT_EQ(bk.options, (std::vector<std::string>{"INIT", "NAME=full"}));
    const auto& r = as<RestoreStmt>(b->statements[2]);
    EXPECT_EQ(r.what, RestoreStmt::Kind::Database);
    EXPECT_EQ(r.database, "X");
    ASSERT_EQ(r.moves.size(), 2u);
    EXPECT_EQ(show(r.moves[1].logicalName.get()), "'A_log'");
    EXPECT_EQ(show(r.moves[1].physicalName.get()), "'/d/X_log.ldf'");
    EXPECT_TRUE(r.replace);
    EXPECT_EQ(r.options, (std::vector<std::string>{"STATS=10"}));
    EXPECT_EQ(as<RestoreStmt>(b->statements[3]).what, RestoreStmt::Kind::FileListOnly);
    EXPECT_EQ(show(as<RestoreStmt>(b->statements[4]).disk.get()), "@f");
    EXPECT_EQ(as<RestoreStmt>(b->statements[5]).what, RestoreStmt::Kind::VerifyOnly);
    EXPECT_EQ(as<RestoreStmt>(b->statements[5]).options, (std::vector<std::string>{"FILE=1"}));
}

// ---- errors -----------------------------------------------------------------------

struct ErrorCase {
    std::string input;
    int number;
    std::string message;
    int line;
};

class ParserErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParserErrors, ReportsSqlServerMessage)
{
    const ErrorCase& c = GetParam();
    try {
        parseBatch(c.input);
        FAIL() << "no error for " << c.input;
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), c.number) << c.input;
        EXPECT_EQ(e.first().message, c.message) << c.input;
        EXPECT_EQ(e.first().line, c.line) << c.input;
        EXPECT_EQ(e.first().severity, 15) << c.input;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ParserErrors,
    ::testing::Values(
        ErrorCase{"select * form t", 102, "Incorrect syntax near 'form'.", 1},
        ErrorCase{"select a form t", 102, "Incorrect syntax near 't'.", 1},
        ErrorCase{"select * from", 156, "Incorrect syntax near the keyword 'from'.", 1},
        ErrorCase{"select 1\nselect * from t where", 156, "Incorrect syntax near the keyword 'where'.", 2},
        ErrorCase{"select a from t where a = ", 102, "Incorrect syntax near '='.", 1},
        ErrorCase{"select 1 2", 102, "Incorrect syntax near '2'.", 1},
        ErrorCase{"select 1 'a' 'b'", 102, "Incorrect syntax near 'b'.", 1},
        ErrorCase{"select Key from t", 156, "Incorrect syntax near the keyword 'Key'.", 1},
        ErrorCase{"select a as File from t", 156, "Incorrect syntax near the keyword 'File'.", 1},
        ErrorCase{"select 1\r\n\r\nEND", 156, "Incorrect syntax near the keyword 'END'.", 3},
        ErrorCase{"if 1=1\nselect 1;\nelse select 2", 156, "Incorrect syntax near the keyword 'else'.", 3},
        ErrorCase{"insert into t values (1,)", 102, "Incorrect syntax near ')'.", 1},
        ErrorCase{"begin select 1", 102, "Incorrect syntax near '1'.", 1},
        ErrorCase{"begin end", 156, "Incorrect syntax near the keyword 'end'.", 1},
        ErrorCase{"create table t (a int,\n b varchar(x))", 102, "Incorrect syntax near 'x'.", 2},
        ErrorCase{"create table t ()", 102, "Incorrect syntax near ')'.", 1},
        ErrorCase{"select (1", 102, "Incorrect syntax near '1'.", 1},
        ErrorCase{"select 0x1F 0x2", 102, "Incorrect syntax near '0x2'.", 1},
        ErrorCase{"select * from t where a in", 156, "Incorrect syntax near the keyword 'in'.", 1},
        ErrorCase{"foo bar baz", 102, "Incorrect syntax near 'baz'.", 1},
        ErrorCase{"print 'x' 'y'", 102, "Incorrect syntax near 'y'.", 1},
        ErrorCase{"restore database x from disk = 'a' with move 'b'", 102, "Incorrect syntax near 'b'.", 1}),
    [](const auto& info) { return std::to_string(info.index); });

TEST(Parser, DeepNestingIsRefusedNotCrashed)
{
    const std::string deep = std::string(2000, '(') + "1" + std::string(2000, ')');
    try {
        parseBatch("select " + deep);
        FAIL();
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 191);
        EXPECT_EQ(e.first().message,
                  "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.");
    }
    std::string minus;
    for (int i = 0; i < 5000; ++i)
        minus += "- ";
    EXPECT_THROW(parseExpression(minus + "1"), SqlException);
    // Ordinary nesting well below the limit works.
    const std::string ok = std::string(100, '(') + "1" + std::string(100, ')');
    EXPECT_EQ(showExpr(ok), "1");
}

TEST(Parser, LongFlatExpressionsNeedNoDepth)
{
    std::string sum = "1";
    for (int i = 0; i < 3000; ++i)
        sum += "+1";
    EXPECT_NO_THROW(parseExpression(sum));
    std::string list = "x in (0";
    for (int i = 1; i < 3000; ++i)
        list += "," + std::to_string(i);
    EXPECT_EQ(parseExpression(list + ")")->args.size(), 3001u);
}

// Set operators: INTERSECT binds tighter than UNION and EXCEPT, and a
// parenthesised set expression stays one operand.
TEST(Parser, SetOperatorPrecedenceAndParentheses)
{
    EXPECT_EQ(showSelect("select 1 union select 2 intersect select 3"),
              "[SELECT 1] UNION ([SELECT 2] INTERSECT [SELECT 3])");
    EXPECT_EQ(showSelect("select 1 intersect select 2 union select 3"),
              "[SELECT 1] INTERSECT [SELECT 2] UNION [SELECT 3]");
    EXPECT_EQ(showSelect("select 3 except (select 3 intersect select 4)"),
              "[SELECT 3] EXCEPT ([SELECT 3] INTERSECT [SELECT 4])");
    EXPECT_EQ(showSelect("(select 1 union select 2) intersect select 2"),
              "[SELECT 1] UNION [SELECT 2] INTERSECT [SELECT 2]");
    EXPECT_EQ(showSelect("(select 1 union select 2) union select 3"), "[SELECT 1] UNION [SELECT 2] UNION [SELECT 3]");
    EXPECT_EQ(showSelect("((select 1 union select 2)) order by 1"), "[SELECT 1] UNION [SELECT 2] ORDER BY 1");
}

// SELECT ... INTO keeps its target on the first block.
TEST(Parser, SelectIntoNamesItsTable)
{
    auto batch = parseBatch("select a into tempdb..#x from t");
    const auto& s = static_cast<const ast::SelectStmt&>(*batch->statements.at(0));
    EXPECT_EQ(s.query->blocks.at(0)->into.toString(), "tempdb..#x");
}

}  // namespace
