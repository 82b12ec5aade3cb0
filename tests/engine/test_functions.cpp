// Tests of the engine's SQLite functions, the vq_ci collation and the GBK
// helpers, run through a real in-memory SQLite database. Expected values
// are SQL Server's documented results for the Transact-SQL construct each
// function stands for.
#include "functions.h"
#include "gbk.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

using namespace vqsql;

namespace {

struct Case {
    const char* expr;
    const char* expected;
};

class EngineFunctions : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_EQ(registerEngineFunctions(db_), SQLITE_OK);
    }
    void TearDown() override { sqlite3_close(db_); }

    // Runs a statement that returns no rows; returns "" or the error
    // described as eval() does.
    std::string exec(const std::string& sql) {
        char* msg = nullptr;
        int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
        std::string r = rc == SQLITE_OK ? "" : describeError(msg ? msg : "");
        sqlite3_free(msg);
        return r;
    }

    // Runs "SELECT <expr> <tail>" and describes the first column of the
    // first row: "NULL", "int 3", "real 2.5", "text abc", "blob 0a0b",
    // "no row", or "error 245: <message>" for an engine error.
    std::string eval(const std::string& expr, const std::string& tail = "") {
        sqlite3_stmt* st = nullptr;
        std::string sql = "SELECT " + expr + " " + tail;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            return "prepare failed: " + std::string(sqlite3_errmsg(db_));
        std::string r;
        int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            r = describe(st, 0);
        } else if (rc == SQLITE_DONE) {
            r = "no row";
        } else {
            r = describeError(sqlite3_errmsg(db_));
        }
        sqlite3_finalize(st);
        return r;
    }

    void checkAll(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.expr);
            EXPECT_EQ(eval(c.expr), c.expected);
        }
    }

    static std::string describe(sqlite3_stmt* st, int col) {
        char buf[64];
        switch (sqlite3_column_type(st, col)) {
        case SQLITE_NULL: return "NULL";
        case SQLITE_INTEGER: return "int " + std::to_string(sqlite3_column_int64(st, col));
        case SQLITE_FLOAT:
            std::snprintf(buf, sizeof buf, "real %.15g", sqlite3_column_double(st, col));
            return buf;
        case SQLITE_TEXT:
            return "text " + std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                                         static_cast<size_t>(sqlite3_column_bytes(st, col)));
        default: {
            std::string r = "blob ";
            auto p = static_cast<const unsigned char*>(sqlite3_column_blob(st, col));
            for (int i = 0; i < sqlite3_column_bytes(st, col); ++i) {
                std::snprintf(buf, sizeof buf, "%02x", p[i]);
                r += buf;
            }
            return r;
        }
        }
    }

    static std::string describeError(const std::string& text) {
        int number;
        std::string message;
        if (parseEngineError(text, number, message)) return "error " + std::to_string(number) + ": " + message;
        return "sqlite error: " + text;
    }

    sqlite3* db_ = nullptr;
};

// ------------------------------------------------------------ error texts

TEST(EngineError, RoundTripsNumberAndMessage) {
    int number = 0;
    std::string message;
    ASSERT_TRUE(parseEngineError(makeEngineError(8134, "Divide by zero error encountered."), number, message));
    EXPECT_EQ(number, 8134);
    EXPECT_EQ(message, "Divide by zero error encountered.");
    ASSERT_TRUE(parseEngineError(makeEngineError(-2, "a: b"), number, message));
    EXPECT_EQ(number, -2);
    EXPECT_EQ(message, "a: b");
    EXPECT_FALSE(parseEngineError("no such table: x", number, message));
    EXPECT_FALSE(parseEngineError("\x01VQ12", number, message));
}

TEST_F(EngineFunctions, ErrorRaisedByFunctionReachesTheCaller) {
    EXPECT_EQ(eval("vq_error(50000, 'Something went wrong.')"), "error 50000: Something went wrong.");
}

// ---------------------------------------------------------------- GBK

TEST(Gbk, ConvertsThroughCodePage936) {
    EXPECT_EQ(utf8ToGbk("\xE4\xB8\xAD" "a"), "\xD6\xD0" "a");  // 中a
    EXPECT_EQ(utf8ToGbk("\xE2\x82\xAC"), "\x80");               // euro sign, cp936 0x80
    auto back = gbkToUtf8("\xD6\xD0\xCE\xC4" "b");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, "\xE4\xB8\xAD\xE6\x96\x87" "b");  // 中文b
    EXPECT_FALSE(gbkToUtf8("\xD6").has_value());      // truncated double-byte character
    EXPECT_FALSE(gbkToUtf8("\xFF\xFF").has_value());
}

TEST(Gbk, UnencodableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(utf8ToGbk("a\xEA\xB0\x80" "b"), "a?b");          // Hangul 가 is not in GBK
    EXPECT_EQ(utf8ToGbk("\xF0\x9F\x98\x80"), "??");             // beyond the BMP: two UTF-16 units
    EXPECT_EQ(utf8ToGbk("a\xFF" "b"), "a?b");                   // broken UTF-8 byte
}

TEST(Gbk, ByteLengthMatchesConversion) {
    const char* texts[] = {"", "abc", "\xE4\xB8\xAD\xE6\x96\x87", "x\xE2\x82\xAC\xEA\xB0\x80\xF0\x9F\x98\x80y",
                           "\xC3\xA9\xC3\xBF"};
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        EXPECT_EQ(gbkByteLength(t), utf8ToGbk(t).size());
    }
    EXPECT_EQ(gbkByteLength("\xE4\xB8\xAD" "a"), 3u);
}

TEST(Gbk, CaseMappingCoversLatinGreekCyrillic) {
    EXPECT_EQ(foldUpper(U'a'), U'A');
    EXPECT_EQ(foldUpper(U'\u00E9'), U'\u00C9');  // é
    EXPECT_EQ(foldUpper(U'\u00FF'), U'\u0178');  // ÿ
    EXPECT_EQ(foldUpper(U'\u0101'), U'\u0100');  // ā
    EXPECT_EQ(foldUpper(U'\u03C9'), U'\u03A9');  // ω
    EXPECT_EQ(foldUpper(U'\u0434'), U'\u0414');  // д
    EXPECT_EQ(foldUpper(U'\u00F7'), U'\u00F7');  // ÷ is no letter
    EXPECT_EQ(foldLower(U'\u0178'), U'\u00FF');
    EXPECT_EQ(foldLower(U'\u0414'), U'\u0434');
    EXPECT_EQ(foldLower(U'\u4E2D'), U'\u4E2D');
}

// ------------------------------------------------------------ collation

TEST(Collation, ComparesLikeChinesePrcCiAs) {
    auto cmp = [](std::string_view a, std::string_view b) {
        int r = compareCi(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                          reinterpret_cast<const unsigned char*>(b.data()), b.size());
        return (r > 0) - (r < 0);
    };
    EXPECT_EQ(cmp("abc", "ABC"), 0);
    EXPECT_EQ(cmp("abc", "abc   "), 0);    // trailing blanks ignored
    EXPECT_EQ(cmp(" abc", "abc"), -1);     // leading blanks are not
    EXPECT_EQ(cmp("a", "B"), -1);
    EXPECT_EQ(cmp("ab", "a"), 1);
    EXPECT_EQ(cmp("", "   "), 0);
    EXPECT_EQ(cmp("z", "\xE9\x98\xBF"), -1);                  // ASCII before hanzi
    EXPECT_EQ(cmp("\xE9\x98\xBF", "\xE5\x85\xAB"), -1);      // 阿 (a) < 八 (ba)
    EXPECT_EQ(cmp("\xE5\x85\xAB", "\xE4\xB8\xAD"), -1);      // 八 (ba) < 中 (zhong)
    EXPECT_EQ(cmp("\xE4\xB8\xAD", "\xEA\xB0\x80"), -1);      // GBK characters before the rest
    EXPECT_EQ(cmp("\xC3\xA9", "\xC3\x89"), 0);                // é = É
    EXPECT_EQ(cmp("\xD0\xB4", "\xD0\x94"), 0);                // д = Д
}

TEST_F(EngineFunctions, CollationOrdersAndDeduplicatesInSql) {
    ASSERT_EQ(exec("CREATE TABLE t(name TEXT COLLATE vq_ci PRIMARY KEY)"), "");
    ASSERT_EQ(exec("INSERT INTO t VALUES ('\xE4\xB8\xAD'), ('b'), ('\xE9\x98\xBF'), ('A')"), "");
    EXPECT_NE(exec("INSERT INTO t VALUES ('B  ')"), "");  // duplicate under the collation
    EXPECT_EQ(eval("group_concat(name, ',')", "FROM (SELECT name FROM t ORDER BY name)"),
              "text A,b,\xE9\x98\xBF,\xE4\xB8\xAD");
    EXPECT_EQ(eval("count(*)", "FROM t WHERE name = 'a '"), "int 1");
}

// ----------------------------------------------------------------- LIKE

TEST_F(EngineFunctions, LikeFollowsSqlServerPatterns) {
    checkAll({
        {"'abc' LIKE 'a%'", "int 1"},
        {"'ABC' LIKE 'a%'", "int 1"},
        {"'abc' LIKE '%B%'", "int 1"},
        {"'abc' LIKE 'a_c'", "int 1"},
        {"'ac' LIKE 'a_c'", "int 0"},
        {"'a_c' LIKE 'a[_]c'", "int 1"},
        {"'abc' LIKE 'a[_]c'", "int 0"},
        {"'50%' LIKE '50[%]'", "int 1"},
        {"'501' LIKE '50[%]'", "int 0"},
        {"'b' LIKE '[abc]'", "int 1"},
        {"'d' LIKE '[^abc]'", "int 1"},
        {"'a' LIKE '[^abc]'", "int 0"},
        {"'M' LIKE '[a-z]'", "int 1"},
        {"'5' LIKE '[a-z]'", "int 0"},
        {"'x5y' LIKE '%[0-9]%'", "int 1"},
        {"'' LIKE '%'", "int 1"},
        {"'' LIKE '_'", "int 0"},
        {"'aXbXc' LIKE '%X%c'", "int 1"},
        {"'aXbXd' LIKE '%X%c'", "int 0"},
        {"'\xE4\xB8\xAD\xE5\x9B\xBD' LIKE '__'", "int 1"},       // two characters, six bytes
        {"'\xE4\xB8\xAD\xE5\x9B\xBD' LIKE '\xE4\xB8\xAD%'", "int 1"},
        {"'a%b' LIKE 'a!%b' ESCAPE '!'", "int 1"},
        {"'axb' LIKE 'a!%b' ESCAPE '!'", "int 0"},
        {"NULL LIKE 'a'", "NULL"},
        {"'a' LIKE NULL", "NULL"},
        {"'abc' NOT LIKE 'b%'", "int 1"},
    });
    EXPECT_EQ(eval("'a' LIKE 'a' ESCAPE 'xy'"),
              "error 506: The invalid escape character \"xy\" was specified in a LIKE predicate.");
}

// ------------------------------------------------------------ operators

TEST_F(EngineFunctions, AddDependsOnRuntimeTypes) {
    checkAll({
        {"vq_add(1, 2)", "int 3"},
        {"vq_add(1, 2.5)", "real 3.5"},
        {"vq_add('ab', 'cd')", "text abcd"},
        {"vq_add('5', 3)", "int 8"},
        {"vq_add(3, ' 5 ')", "int 8"},
        {"vq_add('1.5', 1.0)", "real 2.5"},
        {"vq_add(NULL, 1)", "NULL"},
        {"vq_add('a', NULL)", "NULL"},
        {"vq_add(x'01', x'02')", "blob 0102"},
        {"vq_add('x', 1)", "error 245: Conversion failed when converting the varchar value 'x' to data type int."},
        {"vq_add('1.5', 1)",
         "error 245: Conversion failed when converting the varchar value '1.5' to data type int."},
        {"vq_add('x', 1.5)", "error 8114: Error converting data type varchar to numeric."},
        {"vq_add(9223372036854775807, 1)",
         "error 8115: Arithmetic overflow error converting expression to data type bigint."},
    });
}

TEST_F(EngineFunctions, DivisionAndModulo) {
    checkAll({
        {"vq_div(7, 2)", "int 3"},
        {"vq_div(-7, 2)", "int -3"},  // truncates toward zero
        {"vq_div(7.0, 2)", "real 3.5"},
        {"vq_div('8', 2)", "int 4"},
        {"vq_div(1, 0)", "error 8134: Divide by zero error encountered."},
        {"vq_div(1.5, 0.0)", "error 8134: Divide by zero error encountered."},
        {"vq_div(NULL, 0)", "NULL"},
        {"vq_div('6', '2')", "error 8117: Operand data type varchar is invalid for divide operator."},
        {"vq_mod(7, 3)", "int 1"},
        {"vq_mod(-7, 3)", "int -1"},  // sign of the dividend
        {"vq_mod(7, -3)", "int 1"},
        {"vq_mod(7.5, 2)", "real 1.5"},
        {"vq_mod(7, 0)", "error 8134: Divide by zero error encountered."},
    });
}

// Erroring functions inside a branch that is not taken must not fail the
// statement (SQLite may evaluate constant deterministic calls early).
TEST_F(EngineFunctions, ErrorsOnlyWhenEvaluated) {
    EXPECT_EQ(eval("CASE WHEN 0 THEN vq_to_int('abc', 'int') ELSE 1 END"), "int 1");
    EXPECT_EQ(eval("CASE WHEN 0 THEN vq_div(1, 0) ELSE 2 END"), "int 2");
    ASSERT_EQ(exec("CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (0), (0)"), "");
    EXPECT_EQ(eval("sum(CASE WHEN a = 1 THEN vq_div(1, 0) ELSE 1 END)", "FROM t"), "int 2");
    EXPECT_EQ(eval("count(*)", "FROM t WHERE a = 1 AND vq_error(50000, 'x') = 1"), "int 0");
}

// --------------------------------------------------------------- strings

TEST_F(EngineFunctions, LengthsCountCharactersAndGbkBytes) {
    checkAll({
        {"vq_len('abc  ')", "int 3"},
        {"vq_len('  abc')", "int 5"},
        {"vq_len('\xE4\xB8\xAD\xE6\x96\x87')", "int 2"},
        {"vq_len('')", "int 0"},
        {"vq_len(12345)", "int 5"},
        {"vq_len(NULL)", "NULL"},
        {"vq_datalength('abc  ')", "int 5"},
        {"vq_datalength('\xE4\xB8\xAD\xE6\x96\x87')", "int 4"},
        {"vq_datalength(x'0102')", "int 2"},
        {"vq_datalength(1)", "int 4"},
        {"vq_datalength(NULL)", "NULL"},
        {"vq_gbklen('\xE4\xB8\xAD" "a')", "int 3"},
        {"vq_gbklen('\xF0\x9F\x98\x80')", "int 2"},
        {"vq_gbklen(NULL)", "NULL"},
    });
}

TEST_F(EngineFunctions, SubstringLeftRight) {
    checkAll({
        {"vq_substring('abc', 0, 2)", "text a"},
        {"vq_substring('abc', -1, 3)", "text a"},
        {"vq_substring('abc', 2, 10)", "text bc"},
        {"vq_substring('abc', 5, 1)", "text "},
        {"vq_substring('abc', 1, 0)", "text "},
        {"vq_substring('\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97', 2, 1)", "text \xE6\x96\x87"},
        {"vq_substring(x'010203', 2, 1)", "blob 02"},
        {"vq_substring(NULL, 1, 1)", "NULL"},
        {"vq_substring('abc', 1, -1)", "error 537: Invalid length parameter passed to the substring function."},
        {"vq_left('abcd', 2)", "text ab"},
        {"vq_left('abcd', 10)", "text abcd"},
        {"vq_left('abc', 0)", "text "},
        {"vq_left('\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97', 2)", "text \xE4\xB8\xAD\xE6\x96\x87"},
        {"vq_left('abc', -1)", "error 536: Invalid length parameter passed to the left function."},
        {"vq_right('abcd', 2)", "text cd"},
        {"vq_right('abcd', 9)", "text abcd"},
        {"vq_right('\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97', 1)", "text \xE5\xAD\x97"},
        {"vq_right('abc', -1)", "error 536: Invalid length parameter passed to the right function."},
    });
}

TEST_F(EngineFunctions, ReplicateSpaceTrim) {
    checkAll({
        {"vq_replicate('ab', 3)", "text ababab"},
        {"vq_replicate('0', 2)", "text 00"},
        {"vq_replicate('ab', 0)", "text "},
        {"vq_replicate('ab', -1)", "NULL"},
        {"vq_space(3)", "text    "},
        {"vq_space(-1)", "NULL"},
        {"vq_ltrim('  a  ')", "text a  "},
        {"vq_rtrim('  a  ')", "text   a"},
        {"vq_ltrim(NULL)", "NULL"},
    });
}

TEST_F(EngineFunctions, CharIndexIsCaseInsensitive) {
    checkAll({
        {"vq_charindex('b', 'abc')", "int 2"},
        {"vq_charindex('B', 'abc')", "int 2"},
        {"vq_charindex('bc', 'abc')", "int 2"},
        {"vq_charindex('x', 'abc')", "int 0"},
        {"vq_charindex('', 'abc')", "int 0"},
        {"vq_charindex('b', 'abcb', 3)", "int 4"},
        {"vq_charindex('b', 'abc', 0)", "int 2"},
        {"vq_charindex('\xE6\x96\x87', '\xE4\xB8\xAD\xE6\x96\x87')", "int 2"},
        {"vq_charindex(NULL, 'abc')", "NULL"},
        {"vq_charindex('a', NULL)", "NULL"},
    });
}

TEST_F(EngineFunctions, CaseReplaceStuffReverse) {
    checkAll({
        {"vq_upper('abc\xC3\xA4\xC3\xB6')", "text ABC\xC3\x84\xC3\x96"},
        {"vq_lower('ABC\xE4\xB8\xAD')", "text abc\xE4\xB8\xAD"},
        {"vq_replace('aBc', 'b', 'x')", "text axc"},
        {"vq_replace('abcabc', 'BC', '')", "text aa"},
        {"vq_replace('abc', '', 'x')", "text abc"},
        {"vq_replace('\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD', '\xE4\xB8\xAD', 'A')", "text A\xE6\x96\x87" "A"},
        {"vq_replace('abc', NULL, 'x')", "NULL"},
        {"vq_stuff('abcdef', 2, 3, 'ijklmn')", "text aijklmnef"},
        {"vq_stuff('abc', 2, 1, NULL)", "text ac"},
        {"vq_stuff('abc', 2, 9, 'x')", "text ax"},
        {"vq_stuff('abc', 5, 1, 'x')", "NULL"},
        {"vq_stuff('abc', 0, 1, 'x')", "NULL"},
        {"vq_stuff('abc', 2, -1, 'x')", "NULL"},
        {"vq_reverse('abc')", "text cba"},
        {"vq_reverse('\xE4\xB8\xAD\xE6\x96\x87')", "text \xE6\x96\x87\xE4\xB8\xAD"},
        {"vq_char(65)", "text A"},
        {"vq_char(200)", "NULL"},
        {"vq_char(-1)", "NULL"},
        {"vq_ascii('A')", "int 65"},
        {"vq_ascii('abc')", "int 97"},
        {"vq_ascii('\xE4\xB8\xAD')", "int 214"},  // first GBK byte of 中 (D6 D0)
        {"vq_ascii('')", "NULL"},
    });
}

// ---------------------------------------------------------------- numbers

TEST_F(EngineFunctions, RoundHalfAwayFromZero) {
    checkAll({
        {"vq_round(123.9994, 3)", "real 123.999"},
        {"vq_round(123.9995, 3)", "real 124"},
        {"vq_round(123.4545, 2)", "real 123.45"},
        {"vq_round(123.45, -2)", "real 100"},
        {"vq_round(150.75, 0)", "real 151"},
        {"vq_round(150.75, 0, 1)", "real 150"},
        {"vq_round(748.58, -1)", "real 750"},
        {"vq_round(748.58, -2)", "real 700"},
        {"vq_round(2.675, 2)", "real 2.68"},
        {"vq_round(1.005, 2)", "real 1.01"},
        {"vq_round(-2.5, 0)", "real -3"},
        {"vq_round(1234, -2)", "int 1200"},
        {"vq_round(1250, -2)", "int 1300"},
        {"vq_round(-1250, -2)", "int -1300"},
        {"vq_round(1299, -2, 1)", "int 1200"},
        {"vq_round(5, 2)", "int 5"},
        {"vq_round(NULL, 2)", "NULL"},
    });
}

TEST_F(EngineFunctions, OtherMathFunctions) {
    checkAll({
        {"vq_floor(123.45)", "real 123"},
        {"vq_floor(-123.45)", "real -124"},
        {"vq_floor(5)", "int 5"},
        {"vq_ceiling(123.45)", "real 124"},
        {"vq_ceiling(-123.45)", "real -123"},
        {"vq_ceiling(-5)", "int -5"},
        {"vq_sign(-5)", "int -1"},
        {"vq_sign(0)", "int 0"},
        {"vq_sign(2.5)", "real 1"},
        {"vq_power(2, 3)", "int 8"},
        {"vq_power(2, -2)", "int 0"},  // int base: int result
        {"vq_power(2.0, -2)", "real 0.25"},
        {"vq_sqrt(16)", "real 4"},
        {"vq_sqrt(-1)", "error 3623: An invalid floating point operation occurred."},
    });
}

// ------------------------------------------------------------ conversions

TEST_F(EngineFunctions, CastToIntegerTypes) {
    checkAll({
        {"vq_to_int(5.9, 'int')", "int 5"},
        {"vq_to_int(-5.9, 'int')", "int -5"},
        {"vq_to_int('  42 ', 'int')", "int 42"},
        {"vq_to_int('-7', 'smallint')", "int -7"},
        {"vq_to_int('', 'int')", "int 0"},
        {"vq_to_int(2147483647, 'int')", "int 2147483647"},
        {"vq_to_int(NULL, 'int')", "NULL"},
        {"vq_to_int('1.5', 'int')",
         "error 245: Conversion failed when converting the varchar value '1.5' to data type int."},
        {"vq_to_int('abc', 'smallint')",
         "error 245: Conversion failed when converting the varchar value 'abc' to data type smallint."},
        {"vq_to_int(300, 'tinyint')", "error 220: Arithmetic overflow error for data type tinyint, value = 300."},
        {"vq_to_int(-1, 'tinyint')", "error 220: Arithmetic overflow error for data type tinyint, value = -1."},
        {"vq_to_int(3000000000, 'int')", "error 8115: Arithmetic overflow error converting expression to data type int."},
        {"vq_to_int(1e20, 'bigint')", "error 8115: Arithmetic overflow error converting expression to data type bigint."},
        {"vq_to_int('3000000000', 'int')",
         "error 248: The conversion of the varchar value '3000000000' overflowed an int column."},
        {"vq_to_int('300', 'tinyint')",
         "error 248: The conversion of the varchar value '300' overflowed an INT1 column. Use a larger integer "
         "column."},
        {"vq_to_int('true', 'bit')", "int 1"},
        {"vq_to_int('FALSE', 'bit')", "int 0"},
        {"vq_to_int(5, 'bit')", "int 1"},
        {"vq_to_int(0, 'bit')", "int 0"},
        {"vq_to_int(0.5, 'bit')", "int 1"},
    });
}

TEST_F(EngineFunctions, CastToNumericAndFloat) {
    checkAll({
        {"vq_to_numeric(2.675, 10, 2)", "real 2.68"},
        {"vq_to_numeric(1.5, 10, 0)", "int 2"},
        {"vq_to_numeric(-1.5, 10, 0)", "int -2"},
        {"vq_to_numeric('12.345', 10, 2)", "real 12.35"},
        {"vq_to_numeric(' -0.5 ', 5, 0)", "int -1"},
        {"vq_to_numeric(5, 5, 2)", "real 5"},
        {"vq_to_numeric(NULL, 5, 2)", "NULL"},
        {"vq_to_numeric('abc', 10, 2)", "error 8114: Error converting data type varchar to numeric."},
        {"vq_to_numeric('1e5', 10, 0)", "error 8114: Error converting data type varchar to numeric."},
        {"vq_to_numeric(12345, 4, 0)", "error 8115: Arithmetic overflow error converting int to data type numeric."},
        {"vq_to_numeric('123.4', 4, 2)",
         "error 8115: Arithmetic overflow error converting varchar to data type numeric."},
        {"vq_to_numeric(99.995, 4, 2)",
         "error 8115: Arithmetic overflow error converting numeric to data type numeric."},
        {"vq_to_float('1e5')", "real 100000"},
        {"vq_to_float(3)", "real 3"},
        {"vq_to_float('abc')", "error 8114: Error converting data type varchar to float."},
    });
}

TEST_F(EngineFunctions, CastToVarchar) {
    checkAll({
        {"vq_to_varchar(123, -1, -1)", "text 123"},
        {"vq_to_varchar(2.5, -1, 2)", "text 2.50"},
        {"vq_to_varchar(2.675, -1, 2)", "text 2.68"},
        {"vq_to_varchar(-0.5, -1, 0)", "text -1"},
        {"vq_to_varchar(0.1, -1, -1)", "text 0.1"},
        {"vq_to_varchar('abcdef', 3, -1)", "text abc"},
        {"vq_to_varchar('\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97', 2, -1)", "text \xE4\xB8\xAD"},  // varchar(2) holds 2 GBK bytes: one hanzi
        {"vq_to_varchar(12345, 3, -1)", "text *"},
        {"vq_to_varchar(1234.5, 3, 1)", "error 8115: Arithmetic overflow error converting numeric to data type varchar."},
        {"vq_to_varchar(NULL, 3, -1)", "NULL"},
    });
}

TEST_F(EngineFunctions, CastToDateTime) {
    checkAll({
        {"vq_to_datetime('2026-12-09')", "text 2026-12-09 00:00:00.000"},
        {"vq_to_datetime('20261209 13:14:15')", "text 2026-12-09 13:14:15.000"},
        {"vq_to_datetime('2026-12-09 00:00:00.000')", "text 2026-12-09 00:00:00.000"},
        {"vq_to_datetime('')", "text 1900-01-01 00:00:00.000"},
        {"vq_to_datetime(0)", "text 1900-01-01 00:00:00.000"},
        {"vq_to_datetime(1.5)", "text 1900-01-02 12:00:00.000"},
        {"vq_to_datetime(NULL)", "NULL"},
        {"vq_to_datetime('abc')", "error 241: Conversion failed when converting date and/or time from character string."},
        {"vq_to_datetime('1700-01-01')",
         "error 242: The conversion of a varchar data type to a datetime data type resulted in an out-of-range "
         "value."},
        {"vq_to_datetime(3000000)", "error 8115: Arithmetic overflow error converting expression to data type datetime."},
        {"vq_to_smalldatetime('2000-05-08 12:35:29.998')", "text 2000-05-08 12:35:00.000"},
        {"vq_to_smalldatetime('2000-05-08 12:35:29.999')", "text 2000-05-08 12:36:00.000"},
        {"vq_to_smalldatetime('1899-12-31')",
         "error 242: The conversion of a varchar data type to a smalldatetime data type resulted in an "
         "out-of-range value."},
        {"vq_to_smalldatetime('2079-06-07')",
         "error 242: The conversion of a varchar data type to a smalldatetime data type resulted in an "
         "out-of-range value."},
    });
}

TEST_F(EngineFunctions, ConvertDateTimeWithStyle) {
    checkAll({
        {"vq_format_datetime('2026-12-09 04:05:06.007', 0)", "text Dec  9 2026  4:05AM"},
        {"vq_format_datetime('2026-12-09 16:30:00.000', 100)", "text Dec  9 2026  4:30PM"},
        {"vq_format_datetime('2026-12-09 04:05:06.007', 120)", "text 2026-12-09 04:05:06"},
        {"vq_format_datetime('2026-12-09 04:05:06.007', 112)", "text 20261209"},
        {"vq_format_datetime(NULL, 120)", "NULL"},
        {"vq_format_datetime('2026-12-09', 999)",
         "error 281: 999 is not a valid style number when converting from datetime to a character string."},
    });
}

TEST_F(EngineFunctions, DateFunctions) {
    checkAll({
        {"vq_dateadd('month', 1, '2006-08-31 00:00:00.000')", "text 2006-09-30 00:00:00.000"},
        {"vq_dateadd('dd', 1.9, '2006-12-31')", "text 2007-01-01 00:00:00.000"},  // fraction truncated
        {"vq_dateadd('hh', -1, '2006-01-01 00:30:00.000')", "text 2005-12-31 23:30:00.000"},
        {"vq_dateadd('year', 1, '9999-01-01')", "error 517: Adding a value to a 'datetime' column caused an overflow."},
        {"vq_dateadd('day', NULL, '2006-01-01')", "NULL"},
        {"vq_dateadd('fortnight', 1, '2006-01-01')", "error 155: 'fortnight' is not a recognized dateadd option."},
        {"vq_datediff('year', '2005-12-31 23:59:59.997', '2006-01-01 00:00:00.000')", "int 1"},
        {"vq_datediff('ms', '2005-12-31 23:59:59.997', '2006-01-01 00:00:00.000')", "int 3"},
        {"vq_datediff('day', '2006-01-02', '2006-01-01')", "int -1"},
        {"vq_datediff('xx', '2006-01-02', '2006-01-01')", "error 155: 'xx' is not a recognized datediff option."},
        {"vq_datediff('ms', '1900-01-01', '2000-01-01')",
         "error 535: The datediff function resulted in an overflow. The number of dateparts separating two "
         "date/time instances is too large. Try to use datediff with a less precise datepart."},
        {"vq_datepart('weekday', '2007-04-21')", "int 7"},
        {"vq_datepart('wk', '2007-04-21')", "int 16"},
        {"vq_datepart('DY', '2007-04-21')", "int 111"},
        {"vq_datepart('q', '2007-04-21')", "int 2"},
        {"vq_datepart('zz', '2007-04-21')", "error 155: 'zz' is not a recognized datepart option."},
        {"vq_datepart('day', 'nonsense')",
         "error 241: Conversion failed when converting date and/or time from character string."},
        {"vq_datetime_plus('2026-12-09 00:00:00.000', 1.5)", "text 2026-12-10 12:00:00.000"},
        {"vq_datetime_minus('2026-12-09 00:00:00.000', 1)", "text 2026-12-08 00:00:00.000"},
        {"vq_datetime_minus('2026-01-02 06:00:00.000', '2026-01-01 00:00:00.000')", "text 1900-01-02 06:00:00.000"},
        {"vq_datetime_minus('1753-01-01', 1)", "error 517: Adding a value to a 'datetime' column caused an overflow."},
    });
}

TEST_F(EngineFunctions, GetDateIsLocalTimeInTicks) {
    std::time_t before = std::time(nullptr);
    std::string v = eval("vq_getdate()");
    std::time_t after = std::time(nullptr);
    ASSERT_TRUE(std::regex_match(v, std::regex(R"(text \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d\d[037])"))) << v;
    char lo[32], hi[32];
    std::tm tm{};
    localtime_r(&before, &tm);
    std::strftime(lo, sizeof lo, "text %Y-%m-%d %H:%M:%S", &tm);
    after += 1;  // the milliseconds may round up into the next second
    localtime_r(&after, &tm);
    std::strftime(hi, sizeof hi, "text %Y-%m-%d %H:%M:%S.999", &tm);
    EXPECT_GE(v, std::string(lo));
    EXPECT_LE(v, std::string(hi));
}

// ----------------------------------------------------------------- others

TEST_F(EngineFunctions, ObjectNameIsNumericSingle) {
    checkAll({
        {"vq_objname('dbo.[T]')", "text T"},
        {"vq_objname('[db].[dbo].[T]')", "text T"},
        {"vq_objname('T')", "text T"},
        {"vq_objname('db..T')", "text T"},
        {"vq_objname('[a]]b]')", "text a]b"},
        {"vq_objname('\"T x\"')", "text T x"},
        {"vq_objname(NULL)", "NULL"},
        {"vq_isnumeric(1)", "int 1"},
        {"vq_isnumeric(1.5)", "int 1"},
        {"vq_isnumeric(' 12 ')", "int 1"},
        {"vq_isnumeric('$1')", "int 1"},
        {"vq_isnumeric('1e5')", "int 1"},
        {"vq_isnumeric('.5')", "int 1"},
        {"vq_isnumeric('-3.25')", "int 1"},
        {"vq_isnumeric('abc')", "int 0"},
        {"vq_isnumeric('12a')", "int 0"},
        {"vq_isnumeric('')", "int 0"},
        {"vq_isnumeric(NULL)", "int 0"},
    });
}

TEST_F(EngineFunctions, SingleValueAggregate) {
    ASSERT_EQ(exec("CREATE TABLE t(a); INSERT INTO t VALUES (1), (2)"), "");
    EXPECT_EQ(eval("vq_single(a)", "FROM t WHERE a > 5"), "NULL");
    EXPECT_EQ(eval("vq_single(a)", "FROM t WHERE a = 2"), "int 2");
    EXPECT_EQ(eval("vq_single(a)", "FROM t"),
              "error 512: Subquery returned more than 1 value. This is not permitted when the subquery follows =, "
              "!=, <, <= , >, >= or when the subquery is used as an expression.");
}

// Length checks and casts appear in CHECK constraints and index
// expressions; SQLite accepts only deterministic functions in the latter.
TEST_F(EngineFunctions, UsableInConstraintsAndIndexes) {
    ASSERT_EQ(exec("CREATE TABLE t(name TEXT CHECK (vq_gbklen(name) <= 4), n CHECK (vq_to_int(n, 'int') = n))"), "");
    EXPECT_EQ(exec("INSERT INTO t VALUES ('\xE4\xB8\xAD\xE6\x96\x87', 1)"), "");
    EXPECT_NE(exec("INSERT INTO t VALUES ('\xE4\xB8\xAD\xE6\x96\x87" "a', 1)"), "");
    EXPECT_EQ(exec("CREATE INDEX t_upper ON t(vq_upper(name))"), "");
    // GETDATE() changes between calls, so SQLite must refuse it in an index.
    EXPECT_NE(exec("CREATE INDEX t_now ON t(vq_getdate())"), "");
}

}  // namespace
