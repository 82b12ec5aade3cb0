// The rows of the login log as the log viewers show them: a Qt table model
// over a query on T_ClientLog, read through an engine cursor a batch at a
// time as the view scrolls (canFetchMore/fetchMore), so that a log of a
// million rows opens at once.
//
// Only the seven columns the viewers show are kept, packed into one
// buffer: the two times as numbers, the five texts one after another. A
// fully scrolled million-row log so stays well under 100 MB.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vqsql {
class Connection;
class RowCursor;
struct ConnectionParams;
}

class TClientLogModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The columns, in the order the viewers show them.
    enum Column { MashineName, MashineIP, DBName, AccName, LoginUser, LoginTime, LogoutTime, ColumnCount };
    // Rows read at each fetch.
    static constexpr int kFetchRows = 256;

    explicit TClientLogModel(QObject* parent = nullptr);
    ~TClientLogModel() override;

    // Runs `select` (a query on T_ClientLog returning at least the seven
    // columns, by name) and shows its first rows. Throws
    // vqsql::SqlException when the query fails; the model is then empty.
    // The rows are read on a connection of the model's own, opened with
    // `params`, so that whoever uses the catalogue meanwhile (the
    // connection service, while the viewer is open) is not held up by the
    // read nor ends it.
    void open(const vqsql::ConnectionParams& params, const std::string& select);
    // Ends the query and empties the model.
    void close();

    // The field name and the title of a column.
    static const char* fieldName(int column);
    static QString title(int column);
    // Bytes the kept rows take (for the benchmark).
    std::size_t keptBytes() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex& parent = QModelIndex()) override;

private:
    // Reads up to `count` rows from the cursor into the buffer; the number read.
    int readRows(int count);
    QString text(int row, int column) const;

    // Ends the read: the cursor, then its connection.
    void endRead();
    // Ends the read and forgets every kept row.
    void dropRows();

    std::unique_ptr<vqsql::Connection> connection_;
    std::unique_ptr<vqsql::RowCursor> cursor_;   // closed before connection_
    int sourceColumn_[ColumnCount] = {};   // index of each column in the result set
    std::string packed_;                   // every kept row, one after another
    std::vector<std::uint32_t> rowStart_;  // where each row begins in packed_
    int visibleRows_ = 0;                  // rows the view has been told of
};
