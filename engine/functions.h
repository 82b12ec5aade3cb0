// SQLite extension functions and the collation that give the engine SQL
// Server's behaviour. The translator emits calls to these names; every
// connection registers them with registerEngineFunctions().
//
// Conventions shared with the translator:
//  - date-times are stored as TEXT "YYYY-MM-DD HH:MM:SS.mmm" (23 characters,
//    milliseconds in SQL Server's 1/300 s steps: .000 .003 .007 .010 ...);
//  - texts are UTF-8; lengths that SQL Server counts in bytes are counted in
//    GBK bytes;
//  - a function that must fail the statement calls sqlite3_result_error
//    with the text makeEngineError(number, message); the executor turns it
//    back into that SQL Server error with parseEngineError().
//
// Registered names (all take and return ordinary SQLite values, and
// return NULL for a NULL argument unless said otherwise):
//   collation vq_ci          case-insensitive, trailing blanks ignored,
//                            non-ASCII ordered by GBK code (pinyin order)
//   like(p,x[,esc])          replaces SQLite's LIKE: %, _, [set], [^set],
//                            [a-z] ranges, case-insensitive as vq_ci
//   vq_add(a,b)              '+' decided at run time: text+text concatenates,
//                            number+number adds, text+number converts the
//                            text to a number (error 245 when it is none)
//   vq_div(a,b), vq_mod(a,b) '/', '%': integer/integer truncates toward 0;
//                            division by zero is error 8134
//   vq_len(x)                characters, trailing blanks not counted
//   vq_datalength(x)         GBK bytes of a text, bytes of a blob
//   vq_substring(s,start,n)  SQL Server's rules (start <= 0, past the end;
//                            negative n is error 537)
//   vq_left(s,n) vq_right(s,n) vq_replicate(s,n[,limit]) vq_space(n)
//                            (limit: GBK bytes > 0, characters < 0; SPACE
//                            gives at most 8000 blanks; a result past the
//                            connection's length limit is error 7119)
//   vq_charindex(find,s[,start])  1-based, 0 when absent, case-insensitive
//   vq_ltrim(s) vq_rtrim(s) vq_upper(s) vq_lower(s) vq_replace(s,f,r)
//   vq_reverse(s) vq_stuff(s,start,n,ins) vq_char(n) vq_ascii(s)
//   vq_round(x,n[,truncate]) half away from zero; integers stay integers
//   vq_floor(x) vq_ceiling(x) vq_sign(x) vq_power(x,y) vq_sqrt(x)
//   vq_exp(x) vq_log(x) vq_log10(x) vq_square(x) vq_sin(x) vq_cos(x) vq_tan(x) vq_cot(x)
//   vq_asin(x) vq_acos(x) vq_atan(x) vq_atn2(y,x) vq_degrees(x) vq_radians(x) vq_rand([seed])
//   vq_arith_fold(v0,v1,...,steps) a chain of + - * from left to right (see functions.cpp)
//   vq_bitxor(a,b,...)       a ^ b ^ ...
//   vq_msum(a,b,...)         a + b + ... in money, exact (8115 money)
//   vq_to_int(x,typeName[,fromFloat])  CAST to int/smallint/tinyint/bigint/bit
//                            with errors 245, 8115 and 220; a float (third
//                            argument 1) out of range is error 232
//   vq_iadd(a,b,bits) vq_isub vq_imul   integer + - * checked against the
//                            result type (bits 32 int, 64 bigint): 8115
//   vq_ineg(x,bits) vq_iabs(x,bits)     unary minus and ABS, checked the same
//   vq_madd(a,b) vq_msub vq_mmul vq_mdiv  money + - * / on the exact count of
//                            ten-thousandths (8115 money, 8134); the result
//                            is a REAL up to 15 significant digits, else the
//                            exact decimal text
//   vq_to_money(x,kind)      CAST to money (kind 1) or smallmoney (2): exact,
//                            texts may carry $ ￥ ¥ and thousands commas
//   vq_to_binary(x,enc,n,pad)  text to binary: GBK bytes (enc 0) or UCS-2LE
//                            (1), cut to n > 0 bytes, zero-padded if pad
//   vq_from_binary(x,enc)    binary to text: GBK (0) or UCS-2LE (1) decoded
//   vq_ndatalength(x)        DATALENGTH of nchar/nvarchar: 2 bytes a character
//   vq_to_numeric(x,p,s)     CAST to numeric(p,s): rounded to s places
//                            (errors 8114, 8115)
//   vq_to_float(x)
//   vq_to_varchar(x,n,scale) CAST to varchar(n) (n = -1: no limit); a
//                            REAL shown with `scale` decimals when scale >= 0
//   vq_to_datetime(x)        CAST to datetime from text (many formats) or
//                            from a number of days since 1900-01-01
//                            (errors 241, 242)
//   vq_to_smalldatetime(x)   the same, rounded to the minute as SQL Server
//                            rounds it (29.998 s down, 29.999 s up)
//   vq_format_datetime(d,style)  CONVERT(varchar, d, style): 0/100, 101,
//                            102, 111, 112, 120/20, 121/21, 23, 108/8 ...
//   vq_getdate()             local time now (not deterministic)
//   vq_dateadd(part,n,d) vq_datediff(part,a,b) vq_datepart(part,d)
//   vq_datetime_plus(d,days) vq_datetime_minus(d,days)   datetime +/- number
//   vq_gbklen(x)             GBK byte length of a text (for length checks)
//   vq_objname(x)            last part of an object name, brackets and
//                            quotes removed ("dbo.[T]" -> "T")
//   vq_isnumeric(x)          1 or 0
//   vq_error(number,text)    always fails with that error
//   vq_single(x) aggregate   the value of the only row (NULL for none);
//                            error 512 when there is more than one row
#pragma once

#include <string>

struct sqlite3;

namespace vqsql {

// Registers every function and the collation above on a connection.
// Returns SQLITE_OK or an SQLite error code.
int registerEngineFunctions(sqlite3* db);

// Error text that carries an SQL Server error through SQLite:
// "\x01VQ<number>:<message>".
std::string makeEngineError(int number, const std::string& message);
// Recognises such a text; on success fills number and message.
bool parseEngineError(const std::string& text, int& number, std::string& message);

}  // namespace vqsql
