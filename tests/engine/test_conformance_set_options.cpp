// SET options as SQL Server honours them for a session: ROWCOUNT,
// DATEFORMAT, LANGUAGE and DATEFIRST, XACT_ABORT, ANSI_NULLS,
// QUOTED_IDENTIFIER, TEXTSIZE, the options accepted without effect, the
// ones refused, unknown options (error 195) and @@OPTIONS. Options set in
// one batch stay set for the batches after it on the same connection.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

class SetOptions : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        if (HasFatalFailure())
            return;
        exec("create table n (i int primary key, s varchar(10) null)\n"
             "insert into n values (1, 'a') insert into n values (2, 'b') insert into n values (3, null)\n"
             "insert into n values (4, 'd') insert into n values (5, 'e')");
    }

    // The datetime a text converts to, in ODBC canonical form (style 121).
    std::string asDateTime(const std::string& literal)
    {
        BatchResult r = run("select convert(varchar(23), cast('" + literal + "' as datetime), 121)");
        if (!r.ok())
            return "Msg " + std::to_string(r.errors.front().number);
        return r.resultSets.front().rows.front().front().toString();
    }
};

// ---- ROWCOUNT ----------------------------------------------------------------------------

TEST_F(SetOptions, RowcountLimitsSelectAndLastsForTheSession)
{
    exec("set rowcount 2");
    EXPECT_EQ(column("select i from n order by i"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(text("select @@rowcount"), "2");
    BatchResult r = run("select i from n order by i desc select @@rowcount");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets[0].rows.size(), 2u);
    EXPECT_EQ(r.resultSets[1].rows.front().front().toString(), "2");
    exec("set rowcount 0");
    EXPECT_EQ(column("select i from n order by i").size(), 5u);
}

TEST_F(SetOptions, RowcountLimitsTheRowsACursorReads)
{
    exec("set rowcount 3");
    RowCursor cursor = db_->openCursor("select i from n order by i");
    std::vector<std::vector<Value>> got;
    EXPECT_EQ(cursor.fetch(2, got), 2u);
    EXPECT_EQ(cursor.fetch(2, got), 1u);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got.back().front().toString(), "3");
}

TEST_F(SetOptions, RowcountLimitsVariableAssignmentSelects)
{
    EXPECT_EQ(text("declare @last int set rowcount 1 select @last = i from n order by i set rowcount 0 select @last"),
              "1");
}

TEST_F(SetOptions, RowcountTakesAVariable)
{
    EXPECT_EQ(column("declare @n int set @n = 3 set rowcount @n select i from n order by i").size(), 3u);
    EXPECT_EQ(column("declare @n int set @n = 0 set rowcount @n select i from n order by i").size(), 5u);
}

struct DmlCase {
    const char* statement;
    int affected;
    const char* check;      // a query of one value after the statement
    const char* expected;
};

TEST_F(SetOptions, RowcountLimitsRowsAffectedByDataStatements)
{
    const DmlCase cases[] = {
        {"delete from n where i > 1", 2, "select count(*) from n", "3"},
        {"update n set s = 'x'", 2, "select count(*) from n where s = 'x'", "2"},
        {"insert into n select i + 10, s from n", 2, "select count(*) from n", "7"},
        {"delete from n", 2, "select count(*) from n", "3"},
    };
    for (const DmlCase& c : cases) {
        SCOPED_TRACE(c.statement);
        exec("set rowcount 0 delete from n\n"
             "insert into n values (1, 'a') insert into n values (2, 'b') insert into n values (3, null)\n"
             "insert into n values (4, 'd') insert into n values (5, 'e')");
        exec("set rowcount 2");
        BatchResult r = run(std::string(c.statement) + " select @@rowcount");
        ASSERT_TRUE(r.ok()) << describeErrors(r);
        EXPECT_EQ(r.resultSets.back().rows.front().front().toString(), std::to_string(c.affected));
        exec("set rowcount 0");
        EXPECT_EQ(text(c.check), c.expected);
    }
    // Without a limit every row is affected again.
    exec("update n set s = 'y'");
    EXPECT_EQ(text("select count(*) from n where s = 'y'"), "3");
}

TEST_F(SetOptions, RowcountInsideATransactionRollsBackWhole)
{
    exec("set rowcount 1 begin tran delete from n rollback tran set rowcount 0");
    EXPECT_EQ(text("select count(*) from n"), "5");
}

// ---- DATEFORMAT, LANGUAGE, DATEFIRST --------------------------------------------------------

struct DateCase {
    const char* format;
    const char* literal;
    const char* expected;
};

TEST_F(SetOptions, DateformatOrdersAmbiguousDates)
{
    const DateCase cases[] = {
        {"mdy", "01/02/2008", "2008-01-02 00:00:00.000"},
        {"dmy", "01/02/2008", "2008-02-01 00:00:00.000"},
        {"dmy", "31/12/1998", "1998-12-31 00:00:00.000"},
        {"dmy", "01.02.2008 10:30", "2008-02-01 10:30:00.000"},
        {"dmy", "01-02-08", "2008-02-01 00:00:00.000"},
        {"ymd", "08/01/02", "2008-01-02 00:00:00.000"},
        {"ymd", "1998/12/31", "1998-12-31 00:00:00.000"},
        {"ydm", "1998/31/12", "1998-12-31 00:00:00.000"},
        {"ydm", "08/02/01", "2008-01-02 00:00:00.000"},
        {"myd", "01/2008/02", "2008-01-02 00:00:00.000"},
        {"dym", "02/2008/01", "2008-01-02 00:00:00.000"},
        {"mdy", "12/31/1998", "1998-12-31 00:00:00.000"},
        // Forms that do not depend on the order.
        {"dmy", "20080102", "2008-01-02 00:00:00.000"},
        {"dmy", "2008-01-02T10:00:00", "2008-01-02 10:00:00.000"},
        {"dmy", "Jan 2 2008", "2008-01-02 00:00:00.000"},
        {"ydm", "2008-01-02 00:00:00.000", "2008-01-02 00:00:00.000"},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.literal);
        exec(std::string("set dateformat ") + c.format);
        EXPECT_EQ(asDateTime(c.literal), c.expected);
    }
}

TEST_F(SetOptions, DateformatRefusesDatesInvalidInItsOrder)
{
    // Month 31 does not exist: the conversion fails (241 or 242).
    auto fails = [](const std::string& result) { return result == "Msg 241" || result == "Msg 242"; };
    exec("set dateformat dmy");
    EXPECT_TRUE(fails(asDateTime("12/31/1998"))) << asDateTime("12/31/1998");
    exec("set dateformat mdy");
    EXPECT_TRUE(fails(asDateTime("31/12/1998"))) << asDateTime("31/12/1998");
    exec("set dateformat ymd");
    EXPECT_TRUE(fails(asDateTime("1998/31/12"))) << asDateTime("1998/31/12");
}

TEST_F(SetOptions, DateformatLastsAcrossBatchesAndConnectionsKeepTheirOwn)
{
    exec("set dateformat dmy");
    auto other = connect();
    BatchResult r = other->run("select convert(varchar(10), cast('01/02/2008' as datetime), 120)");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets.front().rows.front().front().toString(), "2008-01-02");
    EXPECT_EQ(asDateTime("01/02/2008"), "2008-02-01 00:00:00.000");
}

TEST_F(SetOptions, StoredDatetimesReadTheSameUnderEveryDateformat)
{
    exec("create table d (v datetime) insert into d values ('2008-01-02 03:04:05.007')");
    for (const char* format : {"mdy", "dmy", "ymd", "ydm", "myd", "dym"}) {
        SCOPED_TRACE(format);
        exec(std::string("set dateformat ") + format);
        EXPECT_EQ(text("select convert(varchar(23), dateadd(day, 1, v), 121) from d"), "2008-01-03 03:04:05.007");
        EXPECT_EQ(text("select datepart(month, v) from d"), "1");
    }
}

TEST_F(SetOptions, DateformatRefusesAnUnknownOrder)
{
    const SqlError e = errorOf("set dateformat xyz");
    EXPECT_EQ(e.number, 2741);
    EXPECT_EQ(e.message, "SET DATEFORMAT date order 'xyz' is not supported.");
}

TEST_F(SetOptions, LanguageSetsItsDateformatAndAtAtLanguage)
{
    EXPECT_EQ(text("select @@language"), "us_english");
    exec("set language 简体中文");
    EXPECT_EQ(text("select @@language"), "简体中文");
    EXPECT_EQ(asDateTime("08/01/02"), "2008-01-02 00:00:00.000");
    EXPECT_EQ(text("select @@datefirst"), "7");
    // SET DATEFORMAT overrides the language's order.
    exec("set dateformat dmy");
    EXPECT_EQ(asDateTime("01/02/2008"), "2008-02-01 00:00:00.000");
    exec("set language us_english");
    EXPECT_EQ(text("select @@language"), "us_english");
    EXPECT_EQ(asDateTime("01/02/2008"), "2008-01-02 00:00:00.000");
    EXPECT_EQ(errorOf("set language Klingon").number, 2732);
    EXPECT_EQ(text("select @@language"), "us_english");
}

TEST_F(SetOptions, DatefirstChangesWeekdaysButNotDatediff)
{
    // 1999-01-01 was a Friday.
    EXPECT_EQ(text("select datepart(dw, '1/1/1999')"), "6");
    exec("set datefirst 3");
    EXPECT_EQ(text("select @@datefirst"), "3");
    EXPECT_EQ(text("select datepart(dw, '1/1/1999')"), "3");
    exec("set datefirst 1");
    EXPECT_EQ(text("select datepart(dw, '1/3/1999')"), "7");   // a Sunday
    EXPECT_EQ(text("select datediff(week, '1/2/1999', '1/3/1999')"), "1");
    EXPECT_NE(errorOf("set datefirst 8").number, 0);
    EXPECT_EQ(text("select @@datefirst"), "1");
}

// ---- XACT_ABORT ----------------------------------------------------------------------------

TEST_F(SetOptions, XactAbortOffLetsTheBatchGoOn)
{
    BatchResult r = run("begin tran insert into n values (6, 'f') insert into n values (1, 'dup') "
                        "insert into n values (7, 'g') commit tran");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors.front().number, 2627);
    EXPECT_EQ(text("select count(*) from n"), "7");
}

TEST_F(SetOptions, XactAbortOnRollsBackAndEndsTheBatch)
{
    exec("set xact_abort on");
    BatchResult r = run("begin tran insert into n values (6, 'f') insert into n values (1, 'dup') "
                        "insert into n values (7, 'g') commit tran select 'not reached'");
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(r.errors.front().number, 2627);
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(text("select @@trancount"), "0");
    EXPECT_EQ(text("select count(*) from n"), "5");
    // Outside a transaction the batch ends too; the next batch runs.
    r = run("insert into n values (1, 'dup') insert into n values (8, 'h')");
    EXPECT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(text("select count(*) from n where i = 8"), "0");
    exec("set xact_abort off");
    EXPECT_EQ(text("select @@options & 16384"), "0");
}

TEST_F(SetOptions, XactAbortOnEndsTheCallerOfAFailedDynamicBatch)
{
    exec("set xact_abort on");
    BatchResult r = run("begin tran insert into n values (6, 'f') exec('insert into n values (1, ''dup'')') "
                        "insert into n values (7, 'g') commit tran");
    EXPECT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(text("select @@trancount"), "0");
    EXPECT_EQ(text("select count(*) from n"), "5");
}

// ---- ANSI_NULLS ----------------------------------------------------------------------------

TEST_F(SetOptions, AnsiNullsOffMatchesNullWithEquals)
{
    const char* byLiteral = "select count(*) from n where s = null";
    const char* byVariable = "declare @v varchar(10) select count(*) from n where s = @v";
    const char* notEqual = "select count(*) from n where s <> null";
    EXPECT_EQ(text(byLiteral), "0");
    EXPECT_EQ(text(byVariable), "0");
    EXPECT_EQ(text(notEqual), "0");
    exec("set ansi_nulls off");
    EXPECT_EQ(text(byLiteral), "1");
    EXPECT_EQ(text(byVariable), "1");
    EXPECT_EQ(text(notEqual), "4");
    // Column against column keeps the standard rule.
    EXPECT_EQ(text("select count(*) from n a join n b on a.s = b.s where a.i = 3"), "0");
    exec("set ansi_nulls on");
    EXPECT_EQ(text(byLiteral), "0");
    EXPECT_EQ(text(byVariable), "0");
}

// ---- QUOTED_IDENTIFIER ---------------------------------------------------------------------

TEST_F(SetOptions, QuotedIdentifierOffMakesDoubleQuotesStrings)
{
    EXPECT_EQ(text("select \"s\" from n where i = 1"), "a");
    exec("set quoted_identifier off");
    EXPECT_EQ(text("select \"s\" from n where i = 1"), "s");
    EXPECT_EQ(text("select count(*) from n where s = \"b\""), "1");
    EXPECT_EQ(text("select \"it's\""), "it's");
    // Brackets still quote identifiers.
    EXPECT_EQ(text("select [s] from n where i = 1"), "a");
    exec("set quoted_identifier on");
    EXPECT_EQ(text("select \"s\" from n where i = 1"), "a");
}

TEST_F(SetOptions, QuotedIdentifierTakesEffectWhileTheBatchIsParsed)
{
    BatchResult r = run("set quoted_identifier off select \"text\" set quoted_identifier on select \"s\" from n "
                        "where i = 2");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows.front().front().toString(), "text");
    EXPECT_EQ(r.resultSets[1].rows.front().front().toString(), "b");
}

// ---- TEXTSIZE ------------------------------------------------------------------------------

TEST_F(SetOptions, TextsizeLimitsLargeTextsReturnedBySelect)
{
    exec("create table doc (t text, nt ntext, v varchar(20))\n"
         "insert into doc values ('abcdefghij', N'账套账套账套', 'abcdefghij')");
    EXPECT_EQ(text("select @@textsize"), "2147483647");
    exec("set textsize 4");
    EXPECT_EQ(text("select @@textsize"), "4");
    const ResultSet rs = rows("select t, nt, v from doc");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toString(), "abcd");
    EXPECT_EQ(rs.rows[0][1].toString(), "账套");   // two bytes a character
    EXPECT_EQ(rs.rows[0][2].toString(), "abcdefghij");   // not a large type
    // The stored value is whole.
    EXPECT_EQ(text("select datalength(t) from doc"), "10");
    exec("set textsize 0");
    EXPECT_EQ(text("select @@textsize"), "4096");
}

// ---- accepted, refused, unknown -------------------------------------------------------------

TEST_F(SetOptions, HarmlessOptionsAreAccepted)
{
    const char* accepted[] = {
        "set ansi_warnings on",           "set ansi_padding on",
        "set ansi_null_dflt_on on",       "set concat_null_yields_null on",
        "set arithabort on",              "set numeric_roundabort off",
        "set implicit_transactions off",  "set cursor_close_on_commit off",
        "set lock_timeout 5000",          "set deadlock_priority low",
        "set fmtonly off",                "set statistics io on",
        "set statistics time off",        "set showplan_text off",
        "set context_info 0x01",          "set no_browsetable on",
        "set forceplan off",              "set query_governor_cost_limit 0",
        "set ansi_nulls, ansi_padding, ansi_warnings on",
        "set transaction isolation level read uncommitted",
        "set transaction isolation level read committed",
        "set transaction isolation level repeatable read",
        "set transaction isolation level snapshot",
        "set transaction isolation level serializable",
        "set nocount off",
    };
    for (const char* sql : accepted) {
        SCOPED_TRACE(sql);
        BatchResult r = run(sql);
        EXPECT_TRUE(r.ok()) << describeErrors(r);
    }
    EXPECT_EQ(text("select @@lock_timeout"), "5000");
}

TEST_F(SetOptions, OptionsThisEngineCannotHonourAreRefusedByName)
{
    for (const char* option : {"implicit_transactions", "showplan_all", "showplan_text", "showplan_xml", "fmtonly",
                               "noexec", "parseonly"}) {
        SCOPED_TRACE(option);
        const SqlError e = errorOf(std::string("set ") + option + " on");
        EXPECT_NE(e.number, 0);
        std::string upper = option;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(e.message.find(upper), std::string::npos) << e.message;
    }
}

TEST_F(SetOptions, UnknownOptionsAreRefusedBeforeTheBatchRuns)
{
    BatchResult r = run("select 1 set no_such_option on");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors.front().number, 195);
    EXPECT_EQ(r.errors.front().severity, 15);
    EXPECT_EQ(r.errors.front().message, "'no_such_option' is not a recognized SET option.");
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(errorOf("set transaction isolation level chaos").number, 102);
    EXPECT_EQ(errorOf("set ansi_nulls maybe").number, 102);
}

TEST_F(SetOptions, AtAtOptionsReflectsTheSwitches)
{
    // ODBC's defaults: ANSI_WARNINGS, ANSI_PADDING, ANSI_NULLS,
    // QUOTED_IDENTIFIER, ANSI_NULL_DFLT_ON, CONCAT_NULL_YIELDS_NULL.
    EXPECT_EQ(text("select @@options"), "5432");
    exec("set nocount on set xact_abort on set ansi_nulls off");
    EXPECT_EQ(text("select @@options & 512"), "512");
    EXPECT_EQ(text("select @@options & 16384"), "16384");
    EXPECT_EQ(text("select @@options & 32"), "0");
    exec("set nocount off set xact_abort off set ansi_nulls on set arithabort on");
    EXPECT_EQ(text("select @@options"), "5496");
}

}  // namespace
