// SQL text helpers.
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
// statement.
QString sqlQuoted(const QString& value);
