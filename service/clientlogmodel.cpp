// The login log's rows for the viewers (see clientlogmodel.h).
#include "clientlogmodel.h"

#include "connection.h"
#include "linkdm.h"
#include "sqlerror.h"

#include <cstring>
#include <stdexcept>

namespace {

// A row in the buffer: the two times as 8-byte numbers yyyymmddhhmmss (-1
// for NULL), then the five texts, each ended by a NUL byte.
constexpr int kTimeColumns = 2;
constexpr int kTextColumns = TClientLogModel::ColumnCount - kTimeColumns;
constexpr std::int64_t kNoTime = -1;

// "2026-12-09 09:29:49.647" as 20261209092949; kNoTime for NULL or a text
// that is no time.
std::int64_t packedTime(const vqsql::Value& value)
{
    if (value.isNull())
        return kNoTime;
    const std::string& t = value.text;
    std::int64_t packed = 0;
    int digits = 0;
    for (std::size_t i = 0; i < t.size() && digits < 14 && t[i] != '.'; ++i) {
        if (t[i] >= '0' && t[i] <= '9') {
            packed = packed * 10 + (t[i] - '0');
            ++digits;
        }
    }
    return digits == 14 ? packed : kNoTime;
}

QString timeText(std::int64_t packed)
{
    if (packed == kNoTime)
        return {};
    const QString d = QString::number(packed);
    return d.mid(0, 4) + QLatin1Char('-') + d.mid(4, 2) + QLatin1Char('-') + d.mid(6, 2) + QLatin1Char(' ') +
           d.mid(8, 2) + QLatin1Char(':') + d.mid(10, 2) + QLatin1Char(':') + d.mid(12, 2);
}

}  // namespace

TClientLogModel::TClientLogModel(QObject* parent) : QAbstractTableModel(parent) {}

TClientLogModel::~TClientLogModel() = default;

const char* TClientLogModel::fieldName(int column)
{
    static const char* const names[ColumnCount] = {"MashineName", "MashineIP", "DBName", "AccName",
                                                   "LoginUser",   "LoginTime", "LogoutTime"};
    return column >= 0 && column < ColumnCount ? names[column] : "";
}

QString TClientLogModel::title(int column)
{
    static const char* const titles[ColumnCount] = {"登录机器", "机器IP地址", "账套代号", "账套名称",
                                                    "操作员",   "登录时间",   "下网时间"};
    return column >= 0 && column < ColumnCount ? QString::fromUtf8(titles[column]) : QString();
}

void TClientLogModel::endRead()
{
    cursor_.reset();
    connection_.reset();
}

void TClientLogModel::dropRows()
{
    endRead();
    visibleRows_ = 0;
    packed_.clear();
    packed_.shrink_to_fit();
    rowStart_.clear();
    rowStart_.shrink_to_fit();
}

void TClientLogModel::open(const vqsql::ConnectionParams& params, const std::string& select)
{
    beginResetModel();
    dropRows();
    try {
        connection_ = std::make_unique<vqsql::Connection>();
        connection_->open(params);
        auto cursor = std::make_unique<vqsql::RowCursor>(connection_->openCursor(select));
        for (int c = 0; c < ColumnCount; ++c) {
            sourceColumn_[c] = -1;
            const auto& columns = cursor->columns();
            for (std::size_t i = 0; i < columns.size(); ++i)
                if (QString::fromStdString(columns[i].name).compare(QLatin1String(fieldName(c)), Qt::CaseInsensitive) == 0)
                    sourceColumn_[c] = static_cast<int>(i);
            if (sourceColumn_[c] < 0)
                throw std::runtime_error(std::string("the query has no column ") + fieldName(c));
        }
        cursor_ = std::move(cursor);
        visibleRows_ = readRows(kFetchRows);
    } catch (...) {
        dropRows();
        endResetModel();
        throw;
    }
    endResetModel();
}

void TClientLogModel::close()
{
    beginResetModel();
    dropRows();
    endResetModel();
}

std::size_t TClientLogModel::keptBytes() const
{
    return packed_.capacity() + rowStart_.capacity() * sizeof(std::uint32_t);
}

int TClientLogModel::readRows(int count)
{
    if (!cursor_)
        return 0;
    std::vector<std::vector<vqsql::Value>> rows;
    cursor_->fetch(static_cast<std::size_t>(count), rows);
    for (const auto& row : rows) {
        if (packed_.size() > 0xFFFFFFF0u)
            throw std::length_error("the login log is too large to show");
        rowStart_.push_back(static_cast<std::uint32_t>(packed_.size()));
        for (int c : {LoginTime, LogoutTime}) {
            const std::int64_t t = packedTime(row[static_cast<std::size_t>(sourceColumn_[c])]);
            packed_.append(reinterpret_cast<const char*>(&t), sizeof t);
        }
        for (int c : {MashineName, MashineIP, DBName, AccName, LoginUser}) {
            const vqsql::Value& v = row[static_cast<std::size_t>(sourceColumn_[c])];
            if (!v.isNull()) {
                const std::string s = v.toString();
                // A NUL inside a text would end it early: shown up to there.
                packed_.append(s.c_str());
            }
            packed_.push_back('\0');
        }
    }
    if (cursor_->atEnd())
        endRead();   // the rows are all here: the read ends
    return static_cast<int>(rows.size());
}

QString TClientLogModel::text(int row, int column) const
{
    const char* p = packed_.data() + rowStart_[static_cast<std::size_t>(row)];
    if (column == LoginTime || column == LogoutTime) {
        std::int64_t t = 0;
        std::memcpy(&t, p + (column == LoginTime ? 0 : sizeof t), sizeof t);
        return timeText(t);
    }
    p += kTimeColumns * sizeof(std::int64_t);
    static const int textIndex[ColumnCount] = {0, 1, 2, 3, 4, -1, -1};
    for (int i = 0; i < textIndex[column]; ++i)
        p += std::strlen(p) + 1;
    return QString::fromUtf8(p);
}

int TClientLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : visibleRows_;
}

int TClientLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TClientLogModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return text(index.row(), index.column());
}

QVariant TClientLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole)
            return title(section);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        return {};
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool TClientLogModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && cursor_ != nullptr;
}

void TClientLogModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || !cursor_)
        return;
    // The rows are read first (how many come is known only then) but the
    // view sees them only between the begin and the end of the insertion.
    // The view calls this from its own event handling, where an exception
    // must not go: a failed read is shown in an error box and ends the
    // read, and the rows so far stay listed.
    const int first = visibleRows_;
    int read = 0;
    runGuarded([&] {
        try {
            read = readRows(kFetchRows);
        } catch (...) {
            endRead();
            throw;
        }
    });
    if (read == 0)
        return;
    beginInsertRows(QModelIndex(), first, first + read - 1);
    visibleRows_ += read;
    endInsertRows();
}
