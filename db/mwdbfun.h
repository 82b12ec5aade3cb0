// SQL text helpers: comment stripping, quoting, and the named sections and
// "##Name" placeholders of the program's script texts.
#pragma once

#include <QString>

// Removes "--" comments: every "--" starts a comment that runs to the end
// of its line, wherever it stands (also inside a quoted literal: the
// stripping knows no quoting). The comment and its line break become one
// CR LF, so the line structure survives; a comment on the last line
// without a final CR LF takes the rest of the text with it.
QString StripSqlComments(const QString& text);

// A text value for splicing into SQL between single quotes: apostrophes
// doubled, so that the value is stored as it is and cannot change the
// statement. A "--" inside the value is written as two literals joined
// with '+' ('a-'+'-b'), because StripSqlComments would take it for a
// comment even between quotes.
QString sqlQuoted(const QString& value);

// For a statement that runs as it stands (no comment stripping, see
// TLinkData::ExecuteSqlAsIs): a value to splice between quotes the text
// already has, its apostrophes doubled; and a name to splice between
// brackets, its "]" doubled.
QString sqlInsideQuotes(const QString& value);
QString sqlInsideBrackets(const QString& name);

// The section of a script from the start marker (included) up to the end
// marker (excluded): exact, case-sensitive search for the first occurrence
// of each anywhere in the text. The whole text when it or a marker is
// empty; empty text when a marker is missing or the end comes first.
QString ExtractSection(const QString& text, const QString& startMarker, const QString& endMarker);

// Every occurrence of the placeholder, matched without regard to letter
// case, replaced by the value. A placeholder has no terminator:
// "##DBName" also rewrites the beginning of "##DBName_log".
QString ReplacePlaceholder(const QString& text, const QString& placeholder, const QString& value);

// A script text as the operations see it: every line, the last one
// included, followed by CR LF.
QString scriptText(const QString& raw);

// A script text built into the program (":/scripts/<name>"), in the form
// scriptText gives; empty when there is none of that name.
QString loadScript(const QString& name);
