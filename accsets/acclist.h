// The list of account sets as the manager and the recycle bin show it: a
// read-only snapshot of the catalogue table AccList (qryAccList), never
// edited in place; every change goes to the database as a statement and
// the snapshot is then reloaded.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <vector>

class TLinkData;

struct TAccListRow {
    int KeyID = 0;
    QString DBName;     // the code
    QString AccName;
    int DelFlag = 0;
    int ShareCount = 0;
    int LockFlag = 0;
};

// "select * from AccList where DelFlag=0": the active account sets.
QString ActiveAccListSql();
// "select * from AccList where DelFlag<>0": the recycle bin.
QString RecycledAccListSql();

// The rows of AccList that a query gives, in the order it gives them.
// Throws vqsql::SqlException on a database error.
std::vector<TAccListRow> LoadAccList(TLinkData& link, const QString& sql);

// Two columns, "账套代号" (DBName) and "账套名称" (AccName).
class TAccListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TAccListModel(QObject* parent = nullptr);

    // Replaces the snapshot by the rows of `sql` on the catalogue
    // connection. On a database error the list is left empty and the error
    // passes to the caller.
    void reload(TLinkData& link, const QString& sql);

    const std::vector<TAccListRow>& rows() const { return rows_; }
    bool isEmpty() const { return rows_.empty(); }
    // The row with this KeyID (exact) or code (letter case ignored), or -1.
    int indexOfKeyID(int keyId) const;
    int indexOfCode(const QString& code) const;
    // The KeyID to select once the row at `index` has left the list: the
    // next row's, or the previous one's when it was the last; 0 when none.
    int keyIdAfterRemoval(int index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<TAccListRow> rows_;
};
