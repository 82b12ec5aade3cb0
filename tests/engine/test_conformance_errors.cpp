// Conformance of error behaviour: syntax errors reject the whole batch,
// statement errors report SQL Server's number, text and line while the
// rest of the batch goes on, and execute()/query() throw them.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceErrors = EngineFixture;

TEST_F(ConformanceErrors, SyntaxErrorRejectsTheWholeBatch)
{
    exec("create table t (a int)");
    BatchResult r = run("insert into t values (1)\nselect 1 +");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].number, 102);
    EXPECT_EQ(r.errors[0].message, "Incorrect syntax near '+'.");
    EXPECT_EQ(r.errors[0].line, 2);
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(text("select count(*) from t"), "0");

    r = run("insert into t values (1)\ninsert into t values (2)\nselect * from t where\n");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(text("select count(*) from t"), "0");

    // A misspelt keyword in the middle of the batch.
    r = run("insert into t values (1)\nselect a fron t where a = 1\ninsert into t values (2)");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.errors.at(0).number, 102);
    EXPECT_EQ(r.errors.at(0).line, 2);
    EXPECT_EQ(text("select count(*) from t"), "0");
}

TEST_F(ConformanceErrors, KeywordInThePlaceOfAnExpressionIs156)
{
    SqlError e = errorOf("select * from where");
    EXPECT_EQ(e.number, 156);
    EXPECT_EQ(e.message, "Incorrect syntax near the keyword 'where'.");
}

TEST_F(ConformanceErrors, UnknownObjectIs208WithItsName)
{
    exec("create table t (a int)");
    BatchResult r = run("insert into t values (1)\nselect * from NoSuchTable");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].number, 208);
    EXPECT_EQ(r.errors[0].message, "Invalid object name 'NoSuchTable'.");
    EXPECT_EQ(r.errors[0].severity, 16);
    EXPECT_EQ(r.errors[0].line, 2);
    EXPECT_EQ(text("select count(*) from t"), "1");
    EXPECT_EQ(errorOf("insert into Missing values (1)").message, "Invalid object name 'Missing'.");
    EXPECT_EQ(errorOf("select * from dbo.Missing").message, "Invalid object name 'dbo.Missing'.");
}

TEST_F(ConformanceErrors, UnknownColumnIs207WithItsName)
{
    exec("create table t (a int)");
    SqlError e = errorOf("select nope from t");
    EXPECT_EQ(e.number, 207);
    EXPECT_EQ(e.message, "Invalid column name 'nope'.");
    EXPECT_EQ(errorOf("update t set b = 1").message, "Invalid column name 'b'.");
    EXPECT_EQ(errorOf("insert into t (a, c) values (1, 2)").message, "Invalid column name 'c'.");
    EXPECT_EQ(errorOf("select a from t where zz = 1").number, 207);
}

TEST_F(ConformanceErrors, StatementErrorLetsTheRestOfTheBatchRun)
{
    exec("create table K (id int constraint PK_K primary key, v varchar(3))\ninsert into K values (1, 'a')");
    BatchResult r = run("insert into K values (2, 'b')\n"
                        "insert into K values (1, 'dup')\n"
                        "insert into K values (3, 'c')\n"
                        "select count(*) from K");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].number, 2627);
    EXPECT_EQ(r.errors[0].severity, 14);
    EXPECT_EQ(r.errors[0].message,
              "Violation of PRIMARY KEY constraint 'PK_K'. Cannot insert duplicate key in object 'dbo.K'.");
    EXPECT_EQ(r.errors[0].line, 2);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toInt64(), 3);
    EXPECT_EQ(column("select v from K order by id"), (std::vector<std::string>{"a", "b", "c"}));

    // The same holds for truncation and NOT NULL errors.
    r = run("insert into K values (4, 'toolong')\n"
            "insert into K values (null, 'n')\n"
            "insert into K values (5, 'e')");
    ASSERT_EQ(r.errors.size(), 2u);
    EXPECT_EQ(r.errors[0].number, 8152);
    EXPECT_EQ(r.errors[0].line, 1);
    EXPECT_EQ(r.errors[1].number, 515);
    EXPECT_EQ(r.errors[1].line, 2);
    EXPECT_EQ(text("select count(*) from K"), "4");
}

TEST_F(ConformanceErrors, ErrorsAreReportedInOrderWithOtherEvents)
{
    exec("create table K (id int primary key)");
    BatchResult r = run("select 1\ninsert into K values (1)\ninsert into K values (1)\nselect 2");
    ASSERT_EQ(r.errors.size(), 1u);
    // Informational messages ("The statement has been terminated.") may come between them.
    std::vector<BatchEvent::Kind> kinds;
    for (const BatchEvent& e : r.events)
        if (e.kind != BatchEvent::Kind::Message)
            kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<BatchEvent::Kind>{BatchEvent::Kind::ResultSet, BatchEvent::Kind::RowsAffected,
                                                    BatchEvent::Kind::Error, BatchEvent::Kind::ResultSet}));
}

TEST_F(ConformanceErrors, LineNumbersCountFromTheStartOfTheBatch)
{
    exec("create table K (id int primary key)\ninsert into K values (1)");
    struct Case {
        const char* batch;
        int line;
    } cases[] = {
        {"insert into K values (1)", 1},
        {"\n\ninsert into K values (1)", 3},
        {"select 1\r\nselect 2\r\ninsert into K values (1)\r\nselect 3", 3},
        {"-- comment\n/* two\nlines */\nselect 1\nselect * from Missing", 5},
        {"if 1 = 1\nbegin\n  select 1\n  insert into K values (1)\nend", 4},
        {"declare @s varchar(10)\nset @s = 'it''s\nmultiline'\nselect * from Missing", 4},
    };
    for (const Case& c : cases) {
        BatchResult r = run(c.batch);
        ASSERT_FALSE(r.errors.empty()) << c.batch;
        EXPECT_EQ(r.errors[0].line, c.line) << c.batch;
    }
}

TEST_F(ConformanceErrors, ExecuteAndQueryThrowTheBatchErrors)
{
    try {
        db_->execute("select 1\nselect * from Missing");
        ADD_FAILURE() << "execute did not throw";
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 208);
        EXPECT_EQ(e.first().message, "Invalid object name 'Missing'.");
        EXPECT_EQ(e.first().line, 2);
    }
    EXPECT_THROW(db_->query("select cast('x' as int)"), SqlException);
    ResultSet rs = db_->query("select 'a' as x\nselect 'b'");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toString(), "a");
    EXPECT_TRUE(db_->query("declare @a int").rows.empty());
}

}  // namespace
