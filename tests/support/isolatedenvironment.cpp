// A throwaway environment for each test process (see isolatedenvironment.h).
#include "isolatedenvironment.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vqtest {

namespace {

std::string& throwawayRoot()
{
    static std::string root;
    return root;
}

pid_t ownerProcess = 0;

void removeThrowawayRoot()
{
    // Only the process that made the folder removes it; a child started by
    // fork inherits the exit handler.
    if (getpid() != ownerProcess || throwawayRoot().empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(throwawayRoot(), ignored);
}

void setFolder(const char* name, const std::string& path)
{
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    setenv(name, path.c_str(), 1);
}

}  // namespace

std::string isolateFromUserEnvironment()
{
    if (!throwawayRoot().empty())
        return throwawayRoot();
    std::string pattern = (std::filesystem::temp_directory_path() / "vqtest-env-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("cannot make the tests' throwaway folder");
        std::exit(2);
    }
    throwawayRoot() = pattern;
    ownerProcess = getpid();
    std::atexit(removeThrowawayRoot);

    setFolder("HOME", pattern + "/home");
    setFolder("TMPDIR", pattern + "/tmp");
    setFolder("XDG_CONFIG_HOME", pattern + "/home/.config");
    setFolder("XDG_DATA_HOME", pattern + "/home/.local/share");
    setFolder("XDG_CACHE_HOME", pattern + "/home/.cache");
    setFolder("XDG_RUNTIME_DIR", pattern + "/runtime");
    std::error_code ignored;
    std::filesystem::permissions(pattern + "/runtime", std::filesystem::perms::owner_all, ignored);
    // Named but never made: no test finds an instance there by accident.
    setenv("VQSQL_HOME", (pattern + "/no-default-instance").c_str(), 1);
    return pattern;
}

}  // namespace vqtest
