// Test data of the .cwz tests: a real backup written by the engine's
// BACKUP DATABASE, made once per test program in a throwaway instance that
// stays up for restores, and whole-file helpers.
#pragma once

#include "connection.h"
#include "instance.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace cwztest {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// An instance holding the database Books (a voucher table of a few hundred
// rows with Chinese summaries) and its backup file.
struct Engine {
    QTemporaryDir folder;
    std::string instance;
    std::string backupFile;
    QByteArray backup;
    vqsql::Connection master;

    Engine()
    {
        instance = folder.filePath(QStringLiteral("instance")).toStdString();
        vqsql::initialiseInstance(instance, "");
        master.open(vqsql::ConnectionParams{instance, "master", "sa", ""});
        master.execute("create database Books");
        master.execute("use Books\n"
                       "create table voucher (id int primary key, vdate datetime, code varchar(20), "
                       "summary varchar(60), amount money)\n"
                       "insert into voucher values (1, '2024-01-05', '1001', '提取现金备用', 1200.50)\n"
                       "insert into voucher values (2, '2024-01-09', '2202', '支付货款——华东公司', 35800)\n"
                       "insert into voucher values (3, '2024-02-01', '6602', '报销差旅费', 862.3)\n"
                       "use master");
        // Doubled up to 384 rows, each copy another month and amount.
        for (int i = 0; i < 7; ++i)
            master.execute("insert into Books..voucher select id + (select max(id) from Books..voucher), "
                           "dateadd(month, 1, vdate), code, summary, amount * 1.07 from Books..voucher");
        backupFile = folder.filePath(QStringLiteral("Books.mdk")).toStdString();
        master.execute("backup database Books to disk = '" + backupFile + "'");
        backup = readAll(QString::fromStdString(backupFile));
    }

    // The rows of a database's voucher table, as one text.
    std::string rows(const std::string& database)
    {
        std::string out;
        const std::string sql = "select id, convert(varchar(19), vdate, 120), code, summary, amount from [" +
                                database + "]..voucher order by id";
        for (const auto& row : master.query(sql).rows)
            for (const auto& cell : row)
                out += cell.toString() + "|";
        return out;
    }
};

// The one engine of the test program, made on first use.
inline Engine& engine()
{
    static std::unique_ptr<Engine> made = std::make_unique<Engine>();
    return *made;
}

}  // namespace cwztest
