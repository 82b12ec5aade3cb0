// Start-up preparation: opening the catalogue connection as sa with the
// password of VQTCWC.ini (asking the operator for it when that fails, and
// remembering a right one), then the first-run provisioning.
#pragma once

// Opens the catalogue connection and provisions the databases; false ends
// the program (a box has said why, or the operator cancelled).
bool PrepareDatabases();
