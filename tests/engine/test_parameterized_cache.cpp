// Statements that differ only in their literals share one translation
// (the cache by shape). A statement run after one of the same shape must
// give what it gives on a fresh connection, where it is translated for the
// first time: the same values, the same column types, the same errors.
#include "conformance_fixture.h"

namespace vqsql::conformance {
namespace {

// Everything a batch gave that a client sees: errors, then each result
// set's column types and cells.
std::string outcome(const BatchResult& r)
{
    std::string s;
    for (const SqlError& e : r.errors)
        s += "Msg " + std::to_string(e.number) + "\n";
    for (const ResultSet& rs : r.resultSets) {
        for (const Column& c : rs.columns)
            s += c.type.toString() + " ";
        s += "|";
        for (const auto& row : rs.rows)
            for (const Value& v : row)
                s += (v.isNull() ? std::string("<NULL>") : v.toString()) + ";";
        s += "\n";
    }
    return s;
}

std::string withLiteral(const std::string& pattern, const std::string& literal)
{
    std::string s = pattern;
    for (std::size_t at = s.find("{}"); at != std::string::npos; at = s.find("{}", at + literal.size()))
        s.replace(at, 2, literal);
    return s;
}

struct ShapeCase {
    const char* columnType;   // the column the literals go into
    const char* first;        // literal of the first statement (translated)
    const char* second;       // literal of the second (from the cache)
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << c.columnType << ": " << c.first << " then " << c.second;
}

class ParameterizedCache : public EngineFixture, public ::testing::WithParamInterface<ShapeCase> {
protected:
    // Each statement with the second literal, on a connection that has
    // just run it with the first (same table, same rows), and on a fresh
    // connection.
    void expectSameAsFresh(const std::string& rowsSetup, const std::vector<std::string>& statements)
    {
        const ShapeCase& c = GetParam();
        const std::string create = std::string("create table ShapeT (k int, c ") + c.columnType + ")";
        auto cached = connect();
        for (const std::string& statement : statements) {
            const std::string text = withLiteral(statement, c.second);
            ASSERT_TRUE(cached->run(create).ok());
            ASSERT_TRUE(cached->run(rowsSetup).ok());
            cached->run(withLiteral(statement, c.first));
            ASSERT_TRUE(cached->run("delete from ShapeT").ok());
            ASSERT_TRUE(cached->run(rowsSetup).ok());
            const std::string fromCache = outcome(cached->run(text));
            ASSERT_TRUE(cached->run("drop table ShapeT").ok());

            auto fresh = connect();
            ASSERT_TRUE(fresh->run(create).ok());
            ASSERT_TRUE(fresh->run(rowsSetup).ok());
            const std::string fromFresh = outcome(fresh->run(text));
            ASSERT_TRUE(fresh->run("drop table ShapeT").ok());
            EXPECT_EQ(fromCache, fromFresh) << text;
        }
    }
};

TEST_P(ParameterizedCache, InsertGivesWhatAFreshConnectionGives)
{
    expectSameAsFresh("insert into ShapeT (k) values (0)",
                      {"insert into ShapeT (k, c) values (1, {}) select c from ShapeT where k = 1"});
}

TEST_P(ParameterizedCache, UpdateAndSearchGiveWhatAFreshConnectionGives)
{
    expectSameAsFresh("insert into ShapeT (k, c) values (1, NULL)",
                      {"update ShapeT set c = {} where k = 1 select c from ShapeT where k = 1",
                       "select count(*) from ShapeT where c = {} or k = 1",
                       "delete from ShapeT where c <> {} select count(*) from ShapeT"});
}

INSTANTIATE_TEST_SUITE_P(
    Literals, ParameterizedCache,
    ::testing::Values(
        ShapeCase{"varchar(12)", "'it''s'", "'O''Brien''s'"},
        ShapeCase{"varchar(12)", "'short'", "'far too long for it'"},   // 8152 only for the second
        ShapeCase{"varchar(12)", "'abc'", "''"},
        ShapeCase{"varchar(12)", "'abc'", "NULL"},
        ShapeCase{"varchar(12)", "'收到'", "'货款货款货款货款'"},            // 16 GBK bytes: too long
        ShapeCase{"nvarchar(6)", "N'收到'", "N'货款货款货款'"},             // 6 characters: fits
        ShapeCase{"nvarchar(6)", "N'收到'", "N'货款货款货款货'"},           // 7: too long
        ShapeCase{"varchar(12)", "N'abc'", "N'x''y'"},
        ShapeCase{"datetime", "'2026-01-15'", "'2026-12-31 23:59:59'"},
        ShapeCase{"datetime", "'2026-01-15'", "'2026-02-30'"},             // no such day: 242
        ShapeCase{"money", "12.5", "-1234.5678"},
        ShapeCase{"money", "12.50", "-0.0001"},
        ShapeCase{"numeric(5,2)", "1.5", "123.456"},
        ShapeCase{"numeric(5,2)", "1.5", "12345.6"},                        // overflow: 8115
        ShapeCase{"numeric(19,4)", "1.50", "123456789012345.6789"},
        ShapeCase{"int", "5", "-7"},
        ShapeCase{"int", "5", "2147483648"},                               // numeric(10,0), too big: 8115
        ShapeCase{"bigint", "5", "9223372036854775807"},
        ShapeCase{"bigint", "-5", "-9223372036854775807"},
        ShapeCase{"int", "'12'", "'abc'"},                                 // conversion: 245
        ShapeCase{"float", "1.5E3", "-2.5e-3"},
        ShapeCase{"float", "1.5", "1e308"},
        ShapeCase{"varbinary(4)", "0x01", "0xDEADBEEF"},
        ShapeCase{"varbinary(4)", "0x01", "0x0102030405"},                  // too long: 8152
        ShapeCase{"varbinary(4)", "0x01", "0x"},
        ShapeCase{"varchar(12)", "12", "12.5"},
        ShapeCase{"varchar(12)", "'12'", "12"}));

// Literals whose value decides the translation, or the type of a result
// column, are never shared between texts.
struct TextPair {
    const char* first;
    const char* second;
};

class ShapeKeptApart : public EngineFixture, public ::testing::WithParamInterface<TextPair> {};

TEST_P(ShapeKeptApart, SecondTextGivesWhatAFreshConnectionGives)
{
    exec("create table ShapeS (k int, c varchar(20), d datetime) "
         "insert into ShapeS values (1, 'abc', '2026-01-15') insert into ShapeS values (2, 'abd', '2026-02-15')");
    auto fresh = connect();
    run(GetParam().first);
    EXPECT_EQ(outcome(run(GetParam().second)), outcome(fresh->run(GetParam().second))) << GetParam().second;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ShapeKeptApart,
    ::testing::Values(TextPair{"select 'ab'", "select 'abcd'"},
                      TextPair{"select 1.50", "select 12.345"},
                      TextPair{"select 2147483647", "select 2147483648"},
                      TextPair{"select N'x'", "select N'xyz'"},
                      TextPair{"select 0x01", "select 0x0102"},
                      TextPair{"select top 1 k from ShapeS order by k", "select top 2 k from ShapeS order by k"},
                      TextPair{"select k from ShapeS order by 1", "select k, c from ShapeS order by 2"},
                      TextPair{"select k from ShapeS where c like 'ab%'", "select k from ShapeS where c like '%d'"},
                      TextPair{"select datepart(month, d) from ShapeS where k = 1",
                               "select datepart(day, d) from ShapeS where k = 1"},
                      TextPair{"select convert(varchar(30), d, 120) from ShapeS where k = 1",
                               "select convert(varchar(30), d, 112) from ShapeS where k = 1"},
                      TextPair{"select k from ShapeS where c = 'abc'", "select k from ShapeS where c = 'abd'"},
                      TextPair{"select k from ShapeS where d > '2026-02-01'", "select k from ShapeS where d > '2026-01-01'"},
                      TextPair{"select k from ShapeS where k between 1 and 1", "select k from ShapeS where k between 1 and 2"},
                      TextPair{"select k from ShapeS where k in (1, 3)", "select k from ShapeS where k in (2, 3)"},
                      TextPair{"select k + 1 from ShapeS where k = 1 group by k + 1",
                               "select k + 2 from ShapeS where k = 1 group by k + 1"}));

// A statement that reads a variable keeps the type its own batch declares,
// beside one of the same shape in another batch.
class ShapeWithVariables : public EngineFixture {};

TEST_F(ShapeWithVariables, EachBatchKeepsItsDeclaredTypes)
{
    exec("create table ShapeV (v varchar(10), n int)");
    exec("declare @v varchar(3) set @v = 'abcdef' insert into ShapeV values (@v, 1)");
    exec("declare @v varchar(10) set @v = 'abcdef' insert into ShapeV values (@v, 2)");
    EXPECT_EQ(column("select v from ShapeV order by n"), (std::vector<std::string>{"abc", "abcdef"}));
}

}  // namespace
}  // namespace vqsql::conformance
