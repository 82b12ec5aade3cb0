// The engine's version text.
#include "version.h"

#include <sqlite3.h>

namespace vqsql {

std::string engineVersionText()
{
    return std::string("VQSQL Embedded Engine 10.0.1600.22 (Transact-SQL compatible; SQLite ") + sqlite3_libversion() +
           ")";
}

}  // namespace vqsql
