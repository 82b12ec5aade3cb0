// Helpers shared by the account-set commands' files; not for the windows.
#pragma once

#include <QString>

#include <cstdint>

namespace vqsql {
class Connection;
}
class TLinkData;

// Reports a stretch of a long operation to the waiting window: done/total
// of this stretch becomes a percentage between `from` and `to`, passed on
// only when it changes.
class TWaitingProgress {
public:
    TWaitingProgress(int from, int to) : from_(from), to_(to) {}
    void operator()(std::uint64_t done, std::uint64_t total);

private:
    int from_;
    int to_;
    int shown_ = -1;
};

// Runs a batch on a connection without a time-out, reporting the engine's
// progress to `progress` meanwhile. Returns the first error's text, or
// empty text when the batch ran without error. The text is not stripped of
// "--" comments: the engine reads comments and quoted values itself.
QString RunLongBatch(vqsql::Connection& connection, const QString& batch, TWaitingProgress& progress);

// Closes UserDB when it is open on the database, so that our own
// connection does not keep a restore or a drop from replacing it.
void ReleaseUserDB(TLinkData& link, const QString& database);

// Runs a command's work; a database error that reaches it is shown with
// ShowError (caption "错误") and the result is `failed`.
template <typename Result, typename Work>
Result guardedCommand(Result failed, Work&& work);

#include "linkdm.h"
#include "mwstdfun.h"

template <typename Result, typename Work>
Result guardedCommand(Result failed, Work&& work)
{
    Result result = failed;
    runGuarded([&] { result = work(); });
    return result;
}
