// First-run provisioning: on a database server that holds none of the
// program's databases, the catalogue VQTCWAccList, the sample books
// VQTCW_Sample and the template pack VQTCWPack are restored from the
// backups beside the program and the sample books are listed; on every
// later start only the catalogue connection is opened. Runs with
// AccListDB open on master with the sa password; the result is success.
#pragma once

#include <QString>

bool ProvisionDatabases(const QString& password);
