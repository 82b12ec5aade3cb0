// The indexes of the catalogue's login log T_ClientLog, for catalogues
// made before the installed catalogue carried them.
//
// The connection service looks up the open rows of the log (Closed = 0) at
// every connect, login report and disconnect, and closes them at every
// start and stop; the login-log viewer lists closed rows newest first.
// Without an index on Closed each of these reads the whole log, which only
// grows, so a log-in got slower with every row ever logged.
#pragma once

class TLinkData;

// Creates on the catalogue VQTCWAccList (through link.AccListDB) each
// index of T_ClientLog that it lacks; indexes already there are left
// alone, and no row changes. Safe to call at every start. Returns true
// when every index exists afterwards; `created`, when given, receives how
// many this call made.
bool EnsureClientLogIndexes(TLinkData& link, int* created = nullptr);
