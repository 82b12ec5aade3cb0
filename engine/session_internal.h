// The executor's inner records, shared by its source files: cached
// batches with their prepared statements, and the state of one run.
#pragma once

#include "session.h"

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace vqsql {

// A prepared, cached statement and the translation it came from.
struct Session::Prepared {
    unsigned long long generation = 0;
    std::string database;
    std::vector<std::string> databases;   // every database the statement reaches
    Translation translation;
    sqlite3_stmt* stmt = nullptr;

    Prepared() = default;
    Prepared(const Prepared&) = delete;
    ~Prepared() { sqlite3_finalize(stmt); }
};

struct Session::CachedBatch {
    std::unique_ptr<ast::Batch> batch;
    std::vector<const ast::DeclareStmt*> declarations;   // every DECLARE, in text order
    std::unordered_map<const void*, std::unique_ptr<Prepared>> prepared;
};

struct Session::RunState {
    BatchResult* result = nullptr;
    CachedBatch* cache = nullptr;
    VariableTypes types;
    std::map<std::string, Value> values;
    bool returned = false;
    bool breaking = false;
    bool continuing = false;
    int depth = 0;
};

}  // namespace vqsql
