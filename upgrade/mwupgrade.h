// The template pack upgrade. The template pack database VQTCWPack holds
// what the new account-set wizard copies into every account set; it is
// never edited, only replaced whole from the installed backup
// VQTCWPack.mdk when the catalogue records an older pack than the one
// this program ships with. Applied pack versions ("PKV" + yymmdd) are rows
// of the catalogue's DBVersion table.
#pragma once

#include <QString>

// The pack version this program ships with.
inline constexpr const char* kPackVersion = "PKV121224";

// Runs at every start with AccListDB open on VQTCWAccList: replaces the
// template pack when the recorded version is older, and records the new
// one. Reports its own problems; a failing version query raises.
void UpgradePackDatabase();
// The highest pack version recorded, "PKV090101" when there is none.
// Database errors raise (vqsql::SqlException).
QString GetPackVersion();
// Adds a row for `version`, stamped with the current minute.
void AddCatalogueVersion(const QString& version);
