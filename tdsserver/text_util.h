// Small text helpers the server's units share.
#pragma once

#include <string>

namespace vqtdsserver {

// Without leading and trailing blanks (spaces, tabs, line ends).
std::string trimmed(const std::string& s);
// ASCII letters in lower case; other bytes as they are.
std::string lowerAscii(std::string s);
// A name as a bracketed Transact-SQL identifier, its ']' doubled.
std::string bracketed(const std::string& name);

}  // namespace vqtdsserver
