// The indexes of the login log (see clientlogindexes.h).
#include "clientlogindexes.h"

#include "linkdm.h"

#include <QString>

namespace {

struct IndexDefinition {
    const char* name;
    const char* columns;
};

// The same definitions as resources/databases/acclist/tables.sql gives new
// installations. (Closed, KeyID): the open rows are found by a seek on
// Closed = 0, and the viewer reads Closed = 1 in KeyID order without a sort.
constexpr IndexDefinition kIndexes[] = {
    {"IX_T_CLIENTLOG_CLOSED", "Closed, KeyID"},
};

// The engine's error "an index or statistics with name ... already exists".
constexpr int kIndexExists = 1913;

}  // namespace

bool EnsureClientLogIndexes(TLinkData& link, int* created)
{
    if (created)
        *created = 0;
    vqsql::Connection& db = link.AccListDB;
    bool allThere = true;
    for (const IndexDefinition& index : kIndexes) {
        // The engine offers no catalogue view of indexes (no sysindexes,
        // sys.indexes or INDEXPROPERTY), so the index is created and the
        // error telling that it exists already counts as success.
        const QString sql = QStringLiteral("create index %1 on VQTCWAccList..T_ClientLog(%2)")
                                .arg(QLatin1String(index.name), QLatin1String(index.columns));
        vqsql::BatchResult result;
        try {
            // Building the index reads the whole log once: no time-out, so
            // that a large log is not cut off halfway.
            db.setCommandTimeout(0);
            result = db.run(sql.toStdString());
            db.setCommandTimeout(TLinkData::kDefaultTimeout);
        } catch (const std::exception&) {
            return false;   // the catalogue connection is not open
        }
        if (result.ok()) {
            if (created)
                ++*created;
        } else if (result.errors.front().number != kIndexExists) {
            allThere = false;
        }
    }
    return allThere;
}
