// Keeps a test process away from the user's own installation: its home
// folder, its default engine instance, its temporary folder (where the
// single-instance socket of the server program lives) and its XDG folders
// all point into one throwaway folder, made at start and removed at exit.
// Child processes the tests start inherit the same environment.
#pragma once

#include <string>

namespace vqtest {

// Points HOME, VQSQL_HOME, TMPDIR and the XDG folders at a new throwaway
// folder and returns it. VQSQL_HOME names a folder that holds no instance,
// so a test that reaches the default instance by mistake finds none.
// Call once, first thing in main(); the folder is removed at exit.
std::string isolateFromUserEnvironment();

}  // namespace vqtest
