// The result types' own operations.
#include "results.h"

#include "sqlite_util.h"

#include <stdexcept>

namespace vqsql {

int ResultSet::columnIndex(const std::string& name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (equalsIgnoreCase(columns[i].name, name))
            return static_cast<int>(i);
    return -1;
}

const Value& ResultSet::at(std::size_t row, const std::string& column) const
{
    int c = columnIndex(column);
    if (c < 0 || row >= rows.size())
        throw std::out_of_range("no column " + column + " or row " + std::to_string(row));
    return rows[row][static_cast<std::size_t>(c)];
}

void BatchResult::addResultSet(ResultSet rs)
{
    events.push_back({BatchEvent::Kind::ResultSet, resultSets.size(), 0});
    resultSets.push_back(std::move(rs));
}

void BatchResult::addMessage(std::string text)
{
    events.push_back({BatchEvent::Kind::Message, messages.size(), 0});
    messages.push_back(std::move(text));
}

void BatchResult::addError(SqlError error)
{
    events.push_back({BatchEvent::Kind::Error, errors.size(), 0});
    errors.push_back(std::move(error));
}

void BatchResult::addRowsAffected(long long count, bool shown)
{
    if (shown)
        events.push_back({BatchEvent::Kind::RowsAffected, 0, count});
    rowsAffected = count;
}

}  // namespace vqsql

namespace vqsql {

void BatchResult::addNumberedMessage(SqlError info)
{
    messageDetails[messages.size()] = info;
    addMessage(std::move(info.message));
}

const SqlError* BatchResult::messageDetail(std::size_t index) const
{
    auto it = messageDetails.find(index);
    return it == messageDetails.end() ? nullptr : &it->second;
}

void BatchResult::append(BatchResult other)
{
    for (const BatchEvent& e : other.events) {
        switch (e.kind) {
        case BatchEvent::Kind::ResultSet: addResultSet(std::move(other.resultSets[e.index])); break;
        case BatchEvent::Kind::Message:
            if (const SqlError* detail = other.messageDetail(e.index))
                addNumberedMessage(*detail);
            else
                addMessage(std::move(other.messages[e.index]));
            break;
        case BatchEvent::Kind::Error: addError(std::move(other.errors[e.index])); break;
        case BatchEvent::Kind::RowsAffected: addRowsAffected(e.count); break;
        }
    }
}

}  // namespace vqsql
