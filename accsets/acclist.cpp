// The account-set list snapshot (see acclist.h).
#include "acclist.h"

#include "linkdm.h"

#include <algorithm>

QString ActiveAccListSql()
{
    return QStringLiteral("select * from AccList where DelFlag=0");
}

QString RecycledAccListSql()
{
    return QStringLiteral("select * from AccList where DelFlag<>0");
}

std::vector<TAccListRow> LoadAccList(TLinkData& link, const QString& sql)
{
    link.AccListDB.setCommandTimeout(TLinkData::kDefaultTimeout);
    const vqsql::ResultSet rs = link.AccListDB.query(sql.toStdString());
    const int keyId = rs.columnIndex("KeyID");
    const int code = rs.columnIndex("DBName");
    const int name = rs.columnIndex("AccName");
    const int delFlag = rs.columnIndex("DelFlag");
    const int shareCount = rs.columnIndex("ShareCount");
    const int lockFlag = rs.columnIndex("LockFlag");
    auto integer = [](const std::vector<vqsql::Value>& r, int column) {
        return column < 0 ? 0 : static_cast<int>(r[static_cast<std::size_t>(column)].toInt64());
    };
    auto text = [](const std::vector<vqsql::Value>& r, int column) {
        return column < 0 ? QString() : QString::fromStdString(r[static_cast<std::size_t>(column)].toString());
    };
    std::vector<TAccListRow> rows;
    rows.reserve(rs.rows.size());
    for (const auto& r : rs.rows)
        rows.push_back({integer(r, keyId), text(r, code), text(r, name), integer(r, delFlag), integer(r, shareCount),
                        integer(r, lockFlag)});
    return rows;
}

TAccListModel::TAccListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TAccListModel::reload(TLinkData& link, const QString& sql)
{
    beginResetModel();
    rows_.clear();
    try {
        rows_ = LoadAccList(link, sql);
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
}

int TAccListModel::indexOfKeyID(int keyId) const
{
    const auto it = std::find_if(rows_.begin(), rows_.end(), [keyId](const TAccListRow& r) { return r.KeyID == keyId; });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

int TAccListModel::indexOfCode(const QString& code) const
{
    const auto it = std::find_if(rows_.begin(), rows_.end(), [&code](const TAccListRow& r) {
        return r.DBName.compare(code, Qt::CaseInsensitive) == 0;
    });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

int TAccListModel::keyIdAfterRemoval(int index) const
{
    const int count = static_cast<int>(rows_.size());
    if (index < 0 || index >= count)
        return 0;
    if (index + 1 < count)
        return rows_[static_cast<std::size_t>(index + 1)].KeyID;
    return index > 0 ? rows_[static_cast<std::size_t>(index - 1)].KeyID : 0;
}

int TAccListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TAccListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TAccListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const TAccListRow& r = rows_[static_cast<std::size_t>(index.row())];
    return index.column() == 0 ? r.DBName : r.AccName;
}

QVariant TAccListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("账套代号") : QStringLiteral("账套名称");
}
