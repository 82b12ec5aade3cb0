// Helpers of the syntax tree (ast.h).
#include "ast.h"

namespace vqsql::ast {

std::string ObjectName::toString() const
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '.';
        out += parts[i];
    }
    return out;
}

}  // namespace vqsql::ast
