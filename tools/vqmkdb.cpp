// vqmkdb: makes one of the installed database backups (.mdk) from SQL
// source scripts, at build time.
//
//   vqmkdb --out FILE.mdk --database NAME
//          [--data-logical NAME] [--log-logical NAME]
//          [--from TEMPLATE.mdk]            start from a restored backup
//          [--with DB=FILE.mdk ...]         other databases the scripts read
//          SCRIPT.sql ...
//
// It works in a throwaway engine instance: restores the --with backups,
// creates the database (or restores --from under the new name), runs the
// scripts in the database in order — batches end at lines holding only GO
// or only ";" — and writes the backup. Any error stops it with exit code 1
// and the file and line of the failing batch; no backup is written then.
#include "connection.h"
#include "instance.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string out;
    std::string database;
    std::string dataLogical;
    std::string logLogical;
    std::string from;
    std::vector<std::pair<std::string, std::string>> with;   // database, backup file
    std::vector<std::string> scripts;
};

[[noreturn]] void usage(const std::string& problem)
{
    std::cerr << "vqmkdb: " << problem << "\n"
              << "usage: vqmkdb --out FILE.mdk --database NAME [--data-logical NAME] [--log-logical NAME]\n"
              << "              [--from TEMPLATE.mdk] [--with DB=FILE.mdk ...] SCRIPT.sql ...\n";
    std::exit(2);
}

Options parse(int argc, char* argv[])
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(a + " needs a value");
            return argv[++i];
        };
        if (a == "--out")
            o.out = value();
        else if (a == "--database")
            o.database = value();
        else if (a == "--data-logical")
            o.dataLogical = value();
        else if (a == "--log-logical")
            o.logLogical = value();
        else if (a == "--from")
            o.from = value();
        else if (a == "--with") {
            std::string v = value();
            auto eq = v.find('=');
            if (eq == std::string::npos)
                usage("--with takes DB=FILE.mdk");
            o.with.push_back({v.substr(0, eq), v.substr(eq + 1)});
        } else if (!a.empty() && a[0] == '-')
            usage("unknown option " + a);
        else
            o.scripts.push_back(a);
    }
    if (o.out.empty() || o.database.empty())
        usage("--out and --database are required");
    if (o.dataLogical.empty())
        o.dataLogical = o.database;
    if (o.logLogical.empty())
        o.logLogical = o.database + "_log";
    return o;
}

std::string sqlText(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    return out + "'";
}

// Runs one batch; on failure prints where it came from and exits.
void run(vqsql::Connection& c, const std::string& batch, const std::string& where)
{
    vqsql::BatchResult r = c.run(batch);
    if (r.ok())
        return;
    std::cerr << "vqmkdb: " << where << " failed:\n";
    for (const auto& e : r.errors)
        std::cerr << e.format() << "\n";
    std::exit(1);
}

// The logical names of a backup, from RESTORE FILELISTONLY.
std::pair<std::string, std::string> logicalNames(vqsql::Connection& c, const std::string& file)
{
    vqsql::ResultSet rs = c.query("restore filelistonly from disk = " + sqlText(file));
    std::string data, log;
    for (std::size_t i = 0; i < rs.rows.size(); ++i) {
        const std::string type = rs.at(i, "Type").toString();
        if (type == "D" && data.empty())
            data = rs.at(i, "LogicalName").toString();
        if (type == "L" && log.empty())
            log = rs.at(i, "LogicalName").toString();
    }
    return {data, log};
}

void restoreAs(vqsql::Connection& c, const std::string& file, const std::string& database, const std::string& dataFolder)
{
    auto [data, log] = logicalNames(c, file);
    run(c,
        "restore database [" + database + "] from disk = " + sqlText(file) + " with move " + sqlText(data) + " to " +
            sqlText(dataFolder + "/" + database + ".mdf") + ", move " + sqlText(log) + " to " +
            sqlText(dataFolder + "/" + database + "_log.ldf") + ", replace",
        "restoring " + file);
}

// Runs a script file batch by batch.
void runScript(vqsql::Connection& c, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "vqmkdb: cannot read " << path << "\n";
        std::exit(1);
    }
    std::string line, batch;
    int lineNo = 0, batchStart = 1;
    auto flush = [&] {
        if (batch.find_first_not_of(" \t\r\n") != std::string::npos)
            run(c, batch, path + ":" + std::to_string(batchStart));
        batch.clear();
        batchStart = lineNo + 1;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        std::string trimmed = line;
        while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == ' ' || trimmed.back() == '\t'))
            trimmed.pop_back();
        std::size_t start = trimmed.find_first_not_of(" \t");
        trimmed = start == std::string::npos ? std::string() : trimmed.substr(start);
        if (trimmed == ";" || trimmed == "GO" || trimmed == "go" || trimmed == "Go") {
            flush();
            continue;
        }
        batch += line;
        batch += '\n';
    }
    ++lineNo;
    flush();
}

}  // namespace

int main(int argc, char* argv[])
{
    Options o = parse(argc, argv);
    char pattern[] = "/tmp/vqmkdb-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("vqmkdb: mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    int rc = 0;
    try {
        const std::string instance = (root / "instance").string();
        vqsql::initialiseInstance(instance, "");
        const std::string data = vqsql::instanceDataFolder(instance);
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance, "master", "sa", ""});
        c.setCommandTimeout(0);
        for (const auto& [database, file] : o.with)
            restoreAs(c, fs::absolute(file).string(), database, data);
        if (!o.from.empty()) {
            auto [fromData, fromLog] = logicalNames(c, fs::absolute(o.from).string());
            restoreAs(c, fs::absolute(o.from).string(), o.database, data);
            run(c, "alter database [" + o.database + "] modify file (name=[" + fromData + "], newname=[" +
                       o.dataLogical + "])",
                "renaming the data file");
            run(c, "alter database [" + o.database + "] modify file (name=[" + fromLog + "], newname=[" +
                       o.logLogical + "])",
                "renaming the log file");
        } else {
            run(c,
                "create database [" + o.database + "] on (name = [" + o.dataLogical + "], filename = " +
                    sqlText(data + "/" + o.database + ".mdf") + ") log on (name = [" + o.logLogical +
                    "], filename = " + sqlText(data + "/" + o.database + "_log.ldf") + ")",
                "creating the database");
        }
        run(c, "use [" + o.database + "]", "opening the database");
        for (const std::string& script : o.scripts)
            runScript(c, script);
        run(c, "use master", "closing the database");
        const std::string out = fs::absolute(o.out).string();
        fs::create_directories(fs::path(out).parent_path());
        run(c, "backup database [" + o.database + "] to disk = " + sqlText(out), "writing the backup");
    } catch (const vqsql::SqlException& e) {
        std::cerr << "vqmkdb: " << e.first().format() << "\n";
        rc = 1;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return rc;
}
