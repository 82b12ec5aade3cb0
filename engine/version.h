// The engine's version text, answered to "select @@Version".
#pragma once

#include <string>

namespace vqsql {

// Names the engine and the SQL Server version whose behaviour it follows
// (10.0 = SQL Server 2008), so that callers reading the number find "10.".
std::string engineVersionText();

}  // namespace vqsql
