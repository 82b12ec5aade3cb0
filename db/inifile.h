// Initialisation files in the Windows format the program has always used:
// "[Section]" lines, then "Key=Value" lines; section and key names match
// without regard to letter case; values are GBK text, read with the blanks
// around them removed. Writing keeps every other line of the file as it is
// and creates the file, the section or the key when missing.
#pragma once

#include <QString>

QString readIniString(const QString& path, const QString& section, const QString& key,
                      const QString& defaultValue = {});
// An integer value; `defaultValue` when absent or not an integer.
int readIniInt(const QString& path, const QString& section, const QString& key, int defaultValue);
bool writeIniString(const QString& path, const QString& section, const QString& key, const QString& value);
