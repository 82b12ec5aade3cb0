// vqsql's output in sqlcmd's format: result sets as a header line, a line
// of dashes and the rows padded to the column widths, then a blank line and
// "(N rows affected)"; errors as "Msg n, Level l, State s, Server h, Line n"
// followed by the message.
#pragma once

#include "connection.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace vqsql::cli {

// Values of OutputStyle::rowsPerHeader besides a count of rows.
inline constexpr int kHeaderOnce = 0;   // one header above the rows (sqlcmd's default)
inline constexpr int kNoHeader = -1;    // -h -1: neither header nor dashes

struct OutputStyle {
    bool trimWidths = false;           // -W: no padding, no trailing spaces
    std::string separator = " ";       // -s
    int rowsPerHeader = kHeaderOnce;   // -h: the header again every N rows
};

// Columns a UTF-8 text takes on a terminal: East Asian characters take two.
std::size_t displayWidth(std::string_view text);

// The server name sqlcmd puts into error lines: the machine's name for the
// local aliases, otherwise the data source as given.
std::string serverDisplayName(const std::string& server);

void printResultSet(std::ostream& out, const ResultSet& rs, const OutputStyle& style);
void printError(std::ostream& out, const SqlError& e, const std::string& serverName);

// Everything a batch produced, in the order it happened.
void printBatchResult(std::ostream& out, const BatchResult& result, const OutputStyle& style,
                      const std::string& serverName);

}  // namespace vqsql::cli
