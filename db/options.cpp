// The options store (see options.h).
#include "options.h"

#include "connection.h"
#include "linkdm.h"
#include "mwdbfun.h"
#include "mwstdfun.h"

#include <vector>

TFundOptions* FundOptions = nullptr;

// The cached rows of T_Options and which of them were edited.
struct TAppOptions::Impl {
    struct Row {
        long long keyId = 0;
        QString name;
        QString value;
        bool isNull = false;
        bool edited = false;
    };
    std::vector<Row> rows;

    Row* find(const QString& name)
    {
        for (Row& r : rows)
            if (r.name.compare(name, Qt::CaseInsensitive) == 0)
                return &r;
        return nullptr;
    }
};

TAppOptions::TAppOptions(vqsql::Connection& connection) : connection_(connection), impl_(std::make_unique<Impl>()) {}

TAppOptions::~TAppOptions()
{
    SaveOptions();
    CloseOptions();
}

// Loads every row; errors of the query are not caught.
void TAppOptions::openCache()
{
    vqsql::ResultSet rs = connection_.query(std::string("select KeyID, Name, TxtValue from T_Options"));
    impl_->rows.clear();
    for (const auto& r : rs.rows) {
        Impl::Row row;
        row.keyId = r[0].toInt64();
        row.name = QString::fromStdString(r[1].toString());
        row.isNull = r[2].isNull();
        row.value = QString::fromStdString(r[2].toString());
        impl_->rows.push_back(row);
    }
    open_ = true;
}

QString TAppOptions::GetOption(const QString& name, const QString& defaultValue)
{
    if (!open_)
        openCache();
    const Impl::Row* row = impl_->find(name);
    return row ? row->value : defaultValue;
}

void TAppOptions::SetOption(const QString& name, const QString& value)
{
    if (!open_) {
        modified_ = false;
        openCache();
    }
    if (Impl::Row* row = impl_->find(name)) {
        if (row->value == value)   // NULL reads as empty text
            return;
        row->value = value;
        row->isNull = false;
        row->edited = true;
        modified_ = true;
        return;
    }
    // A new name goes into the database at once, after the pending edits.
    SaveOptions();
    CloseOptions();
    const int key = LinkData->QueryMaxID(connection_, QStringLiteral("T_Options"), QStringLiteral("KeyID")) + 1;
    LinkData->ExecuteSql(connection_, QStringLiteral(" insert into T_Options(KeyID, Name, TxtValue)  values(") +
                                          QString::number(key) + QStringLiteral(", ") + sqlQuoted(name) +
                                          QStringLiteral(", ") + sqlQuoted(value) + QStringLiteral(")"));
}

void TAppOptions::SetIntOption(const QString& name, int value)
{
    SetOption(name, QString::number(value));
}

void TAppOptions::SetDateOption(const QString& name, const QDate& value)
{
    SetOption(name, value.toString(Qt::ISODate));
}

bool TAppOptions::SaveOptions()
{
    if (!modified_)
        return true;
    if (!connection_.isOpen() || !open_)
        return true;
    bool begun = false;
    try {
        connection_.beginTransaction();
        begun = true;
        for (const Impl::Row& row : impl_->rows) {
            if (!row.edited)
                continue;
            // The row must still be there: a missing one fails the update.
            vqsql::BatchResult r = connection_.run(
                (QStringLiteral("update T_Options set TxtValue=") + sqlQuoted(row.value) +
                 QStringLiteral(" where KeyID=") + QString::number(row.keyId) +
                 QStringLiteral(" if @@ROWCOUNT = 0 select 1/0"))
                    .toStdString());
            if (!r.ok())
                throw vqsql::SqlException(r.errors);
        }
        connection_.commit();
    } catch (const std::exception&) {
        for (Impl::Row& row : impl_->rows)
            row.edited = false;
        if (begun && connection_.inTransaction()) {
            try {
                connection_.rollback();
            } catch (const std::exception&) {
            }
        }
        // The cancelled edits leave the cache: it is read again next time.
        modified_ = false;
        CloseOptions();
        ShowInfo(QStringLiteral("保存账套选项数据失败。"), QStringLiteral("提示"));
        return false;
    }
    for (Impl::Row& row : impl_->rows)
        row.edited = false;
    modified_ = false;
    return true;
}

void TAppOptions::CloseOptions()
{
    impl_->rows.clear();
    open_ = false;
}
