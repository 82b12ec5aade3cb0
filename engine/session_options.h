// The options a session keeps from SET statements (SET ROWCOUNT,
// DATEFORMAT, LANGUAGE, XACT_ABORT, ANSI_NULLS ...). They last for the
// session: a batch that sets one leaves it set for the batches after it.
#pragma once

#include "datetime.h"
#include "value.h"

#include <string>

namespace vqsql {

// Bits of @@OPTIONS, as SQL Server numbers them.
namespace option_bit {
inline constexpr int ImplicitTransactions = 2;
inline constexpr int CursorCloseOnCommit = 4;
inline constexpr int AnsiWarnings = 8;
inline constexpr int AnsiPadding = 16;
inline constexpr int AnsiNulls = 32;
inline constexpr int ArithAbort = 64;
inline constexpr int ArithIgnore = 128;
inline constexpr int QuotedIdentifier = 256;
inline constexpr int NoCount = 512;
inline constexpr int AnsiNullDefaultOn = 1024;
inline constexpr int AnsiNullDefaultOff = 2048;
inline constexpr int ConcatNullYieldsNull = 4096;
inline constexpr int NumericRoundAbort = 8192;
inline constexpr int XactAbort = 16384;
}  // namespace option_bit

struct SessionOptions {
    // What an ODBC or OLE DB client's connection starts with.
    int bits = option_bit::AnsiWarnings | option_bit::AnsiPadding | option_bit::AnsiNulls |
               option_bit::QuotedIdentifier | option_bit::AnsiNullDefaultOn | option_bit::ConcatNullYieldsNull;
    long long rowCount = 0;            // SET ROWCOUNT; 0: no limit
    long long textSize = 2147483647;   // SET TEXTSIZE, in bytes
    int lockTimeout = -1;              // SET LOCK_TIMEOUT, ms; -1: wait for ever
    std::string language = "us_english";
    std::string isolationLevel = "READ COMMITTED";
    DateSettings dates;

    bool isOn(int bit) const { return (bits & bit) != 0; }
};

// The rows one data statement under SET ROWCOUNT has reached so far.
struct RowLimitCounter {
    long long limit = 0;
    long long seen = 0;
};

// Applies SET <option> <value> for every option but IDENTITY_INSERT,
// NOCOUNT and a ROWCOUNT, TEXTSIZE, DATEFIRST, DATEFORMAT, LANGUAGE or
// LOCK_TIMEOUT value given by a variable (the caller has replaced the
// variable by its value). `option` is upper-cased. Throws SqlException as
// SQL Server refuses a value, and err::Unsupported for an option this
// engine cannot honour (SET IMPLICIT_TRANSACTIONS ON, SET SHOWPLAN_ALL ON ...).
void applySessionOption(SessionOptions& options, const std::string& option, const std::string& value, int line);

// Whether the parser accepts `option` (upper-cased) after SET; an unknown
// one is refused with error 195.
bool isKnownSetOption(const std::string& option);

}  // namespace vqsql

namespace vqsql {

// A text, ntext, (n)varchar(max), image or varbinary(max) value as SELECT
// returns it under SET TEXTSIZE: at most `textSize` bytes, counted as the
// client receives them (2 per character for Unicode types, 1 per ASCII
// and 2 per other character for the GBK code page, raw bytes for
// binaries), cut at a whole character.
bool isTextSizeLimited(const SqlType& type);
std::string truncateToTextSize(const std::string& value, const SqlType& type, long long textSize);

}  // namespace vqsql
