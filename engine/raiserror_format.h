// RAISERROR's message text: printf-like substitution of its arguments as
// SQL Server documents it.
#pragma once

#include "sqlerror.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vqsql {

// One substitution argument: an integer, a string, or NULL (also what a
// missing argument reads as).
struct RaiserrorArgument {
    enum class Kind { Null, Integer, String };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    std::string text;
    bool wide = false;   // bigint: %x, %u and %o read it as 64 bits, others as 32
};

// The message with each % conversion replaced:
//   % [flags] [width] [. precision] [h | l | I64] type
// flags - + 0 # and blank; width and precision digits or * (read from the
// next argument); type d i o s u x X; %% is a percent sign. A NULL or
// missing argument prints "(null)". An argument of the wrong kind for
// its type throws 2786. The result is cut at 2047 characters (the first
// 2044 and "...").
std::string formatRaiserrorMessage(const std::string& format, const std::vector<RaiserrorArgument>& args, int line);

}  // namespace vqsql
