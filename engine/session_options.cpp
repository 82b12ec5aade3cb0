// SET statements' options: which exist, which values they take, and what
// each one changes in SessionOptions.
#include "session_options.h"

#include "sqlerror.h"
#include "sqlite_util.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace vqsql {

namespace {

// ON/OFF options and their @@OPTIONS bit; 0 for options that have no bit
// and no effect on this engine but that clients set routinely.
struct SwitchOption {
    const char* name;
    int bit;
    bool onRefused;   // ON would change results in a way this engine cannot honour
};

const SwitchOption kSwitches[] = {
    {"ANSI_NULLS", option_bit::AnsiNulls, false},
    {"QUOTED_IDENTIFIER", option_bit::QuotedIdentifier, false},
    {"XACT_ABORT", option_bit::XactAbort, false},
    {"ANSI_WARNINGS", option_bit::AnsiWarnings, false},
    {"ANSI_PADDING", option_bit::AnsiPadding, false},
    {"ANSI_NULL_DFLT_ON", option_bit::AnsiNullDefaultOn, false},
    {"ANSI_NULL_DFLT_OFF", option_bit::AnsiNullDefaultOff, false},
    {"CONCAT_NULL_YIELDS_NULL", option_bit::ConcatNullYieldsNull, false},
    {"ARITHABORT", option_bit::ArithAbort, false},
    {"ARITHIGNORE", option_bit::ArithIgnore, false},
    {"NUMERIC_ROUNDABORT", option_bit::NumericRoundAbort, false},
    {"CURSOR_CLOSE_ON_COMMIT", option_bit::CursorCloseOnCommit, false},
    {"IMPLICIT_TRANSACTIONS", option_bit::ImplicitTransactions, true},
    {"ANSI_DEFAULTS", 0, true},
    {"FMTONLY", 0, true},
    {"NOEXEC", 0, true},
    {"PARSEONLY", 0, true},
    {"SHOWPLAN_ALL", 0, true},
    {"SHOWPLAN_TEXT", 0, true},
    {"SHOWPLAN_XML", 0, true},
    {"STATISTICS PROFILE", 0, true},
    {"STATISTICS XML", 0, true},
    {"STATISTICS IO", 0, false},
    {"STATISTICS TIME", 0, false},
    {"NO_BROWSETABLE", 0, false},
    {"FORCEPLAN", 0, false},
    {"REMOTE_PROC_TRANSACTIONS", 0, false},
};

// Options that take a value other than ON/OFF.
const char* const kValued[] = {"ROWCOUNT",        "TEXTSIZE",          "DATEFORMAT",   "DATEFIRST",
                               "LANGUAGE",        "LOCK_TIMEOUT",      "DEADLOCK_PRIORITY",
                               "QUERY_GOVERNOR_COST_LIMIT", "CONTEXT_INFO", "TRANSACTION ISOLATION LEVEL"};

const SwitchOption* findSwitch(const std::string& option)
{
    for (const SwitchOption& s : kSwitches)
        if (option == s.name)
            return &s;
    return nullptr;
}

// Languages this engine knows: their names and date defaults, as
// SQL Server's syslanguages has them.
struct Language {
    const char* name;
    const char* alias;
    DateOrder order;
    int firstDayOfWeek;
};

const Language kLanguages[] = {
    {"us_english", "English", DateOrder::MDY, 7},
    {"简体中文", "Simplified Chinese", DateOrder::YMD, 7},
};

// A value the option does not take: SQL Server's parser refuses it.
[[noreturn]] void refuseValue(const std::string& value, int line)
{
    throw SqlException(err::SyntaxError, "Incorrect syntax near '" + value + "'.", line, 15);
}

bool parseInteger(const std::string& text, long long& out)
{
    if (text.empty())
        return false;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, out);
    return ec == std::errc() && end == last;
}

}  // namespace

bool isKnownSetOption(const std::string& option)
{
    return findSwitch(option) != nullptr || option == "NOCOUNT" || option == "IDENTITY_INSERT" ||
           std::any_of(std::begin(kValued), std::end(kValued),
                       [&](const char* name) { return option == name; });
}

void applySessionOption(SessionOptions& options, const std::string& option, const std::string& value, int line)
{
    if (const SwitchOption* s = findSwitch(option)) {
        const bool on = equalsIgnoreCase(value, "ON");
        if (!on && !equalsIgnoreCase(value, "OFF"))
            refuseValue(value, line);
        if (on && s->onRefused)
            throw SqlException(err::Unsupported, "The engine does not support SET " + option + " ON.", line);
        if (s->bit != 0)
            options.bits = on ? (options.bits | s->bit) : (options.bits & ~s->bit);
        return;
    }
    long long number = 0;
    const bool numeric = parseInteger(value, number);
    if (option == "ROWCOUNT") {
        if (!numeric)
            refuseValue(value, line);
        options.rowCount = number < 0 ? 0 : number;
    } else if (option == "TEXTSIZE") {
        if (!numeric)
            refuseValue(value, line);
        // 0 (or less) sets the default of 4 KB.
        options.textSize = number <= 0 ? 4096 : std::min<long long>(number, 2147483647);
    } else if (option == "DATEFORMAT") {
        auto order = dateOrderFromName(value);
        if (!order)
            throw SqlException(2741, "SET DATEFORMAT date order '" + value + "' is not supported.", line);
        options.dates.order = *order;
    } else if (option == "DATEFIRST") {
        if (!numeric || number < 1 || number > 7)
            throw SqlException(2742, "SET DATEFIRST " + value + " is out of range.", line);
        options.dates.firstDayOfWeek = static_cast<int>(number);
    } else if (option == "LANGUAGE") {
        for (const Language& l : kLanguages) {
            if (equalsIgnoreCase(value, l.name) || equalsIgnoreCase(value, l.alias)) {
                options.language = l.name;
                options.dates.order = l.order;
                options.dates.firstDayOfWeek = l.firstDayOfWeek;
                return;
            }
        }
        throw SqlException(2732, "Error: Language '" + value + "' is not supported.", line);
    } else if (option == "LOCK_TIMEOUT") {
        if (!numeric)
            refuseValue(value, line);
        options.lockTimeout = static_cast<int>(std::clamp<long long>(number, -1, 2147483647));
    } else if (option == "TRANSACTION ISOLATION LEVEL") {
        // SQLite serialises writers; every level reads committed data.
        std::string level = value;
        for (char& c : level)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        options.isolationLevel = level;
    }
    // DEADLOCK_PRIORITY, QUERY_GOVERNOR_COST_LIMIT and CONTEXT_INFO change
    // nothing on this engine.
}

}  // namespace vqsql

namespace vqsql {

bool isTextSizeLimited(const SqlType& type)
{
    switch (type.base) {
    case BaseType::Text:
    case BaseType::NText:
    case BaseType::Image: return true;
    case BaseType::VarChar:
    case BaseType::NVarChar:
    case BaseType::VarBinary: return type.length == -1;
    default: return false;
    }
}

std::string truncateToTextSize(const std::string& value, const SqlType& type, long long textSize)
{
    if (static_cast<long long>(value.size()) <= textSize / 2 || textSize >= 2147483647)
        return value;   // fits however it is counted
    if (type.isBinary())
        return value.substr(0, static_cast<std::size_t>(std::min<long long>(textSize, value.size())));
    const bool unicode = type.base == BaseType::NText || type.base == BaseType::NVarChar;
    long long used = 0;
    std::size_t i = 0;
    while (i < value.size()) {
        const auto lead = static_cast<unsigned char>(value[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        const int width = unicode ? (length == 4 ? 4 : 2) : (length == 1 ? 1 : 2);
        if (used + width > textSize)
            break;
        used += width;
        i += length;
    }
    return value.substr(0, std::min(i, value.size()));
}

}  // namespace vqsql
