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

bool isAggregateName(const std::string& lower)
{
    static const char* const kAggregates[] = {"count", "sum", "avg", "min", "max", "count_big",
                                              "stdev", "stdevp", "var", "varp", "grouping"};
    for (const char* a : kAggregates)
        if (lower == a)
            return true;
    return false;
}

bool containsAggregate(const Expr& e)
{
    if (e.kind == ExprKind::Function && !e.over) {
        std::string lower = e.text;
        for (char& c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (isAggregateName(lower))
            return true;
    }
    for (const auto& a : e.args)
        if (a && containsAggregate(*a))
            return true;
    for (const auto& [w, t] : e.whens)
        if ((w && containsAggregate(*w)) || (t && containsAggregate(*t)))
            return true;
    return e.elseExpr && containsAggregate(*e.elseExpr);
}

}  // namespace vqsql::ast
