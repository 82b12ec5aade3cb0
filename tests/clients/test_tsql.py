"""FreeTDS's tsql against `vqsql serve`: logins (right and wrong password),
@@VERSION, a table written and read back, an error with its number, with
the encryption FreeTDS asks for by default and with encryption off."""

import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from server_fixture import (Checks, expect_equal, expect_true, main_with_server, skip)  # noqa: E402

TSQL = shutil.which("tsql") or "/usr/bin/tsql"
TIMEOUT_SECONDS = 30


def write_freetds_conf(server):
    """Server entries for -S: encryption off, encryption required, TDS 7.0."""
    path = os.path.join(server.root, "freetds.conf")
    with open(path, "w") as f:
        for name, version, encryption in (("vq_plain", "7.4", "off"), ("vq_tls", "7.4", "require"),
                                          ("vq_tds70", "7.0", "off")):
            f.write("[%s]\n\thost = %s\n\tport = %d\n\ttds version = %s\n\tencryption = %s\n"
                    "\tclient charset = UTF-8\n" % (name, server.host, server.port, version, encryption))
    return path


class Tsql:
    """Runs tsql non-interactively: statements on standard input, each
    batch ended by "go"."""

    def __init__(self, server, target_arguments, env):
        self.server = server
        self.target = target_arguments
        self.env = env

    def run(self, batches, password=None, database=None, timeout=TIMEOUT_SECONDS):
        script = "".join(batch.rstrip() + "\ngo\n" for batch in batches) + "exit\n"
        command = [TSQL, *self.target, "-U", "sa", "-P", self.server.password if password is None else password,
                   "-o", "q", "-J", "UTF-8"]
        if database:
            command += ["-D", database]
        done = subprocess.run(command, input=script.encode("utf-8"), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=self.env, timeout=timeout)
        return (done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace"),
                script)


def data_lines(stdout):
    """The output without tsql's own chatter (locale and charset notes)."""
    noise = ("locale is", "locale charset is", "using default charset", "Setting ")
    return [line for line in stdout.splitlines() if line.strip() and not line.startswith(noise)]


def describe(result):
    code, out, err, script = result
    return "sent:\n%s\nexit %d\nstdout:\n%s\nstderr:\n%s" % (script, code, out, err)


def check_login_and_version(tsql):
    result = tsql.run(["select @@VERSION"])
    text = result[1] + result[2]
    expect_true("Login failed" not in text and "problem connecting" not in text,
                "the login was refused\n" + describe(result))
    # The engine's version text names its version number (10.0.x, the
    # generation of SQL Server it answers as).
    expect_true(any("10.0." in line for line in data_lines(result[1])),
                "no version text with 10.0. in the output\n" + describe(result))


def check_table_round_trip(tsql):
    result = tsql.run([
        "create table dbo.Vouchers (Id int not null primary key, Summary nvarchar(40) null, Amount money null)",
        "insert into dbo.Vouchers values (1, N'会计凭证', 12.5)\n"
        "insert into dbo.Vouchers values (2, N'O''Brien', -3)\n"
        "insert into dbo.Vouchers values (3, null, null)",
        "select Id, Summary, Amount from dbo.Vouchers order by Id",
    ])
    lines = data_lines(result[1])
    rows = [line.split("\t") for line in lines]
    # The header line, then the three rows; tsql prints NULL as "NULL".
    wanted = [["Id", "Summary", "Amount"], ["1", "会计凭证", "12.5000"], ["2", "O'Brien", "-3.0000"],
              ["3", "NULL", "NULL"]]
    found = [row for row in rows if row in wanted]
    expect_equal(found, wanted, "the rows tsql printed\n" + describe(result))


def check_error_has_its_number(tsql):
    result = tsql.run(["select * from dbo.NoSuchTable"])
    expect_true("Msg 208" in result[1] + result[2] and "Invalid object name 'dbo.NoSuchTable'." in result[1] + result[2],
                "no 'Msg 208 ... Invalid object name' message\n" + describe(result))


def check_wrong_password_is_refused(tsql):
    result = tsql.run(["select 1"], password="wrong password")
    text = result[1] + result[2]
    expect_true("Msg 18456" in text and "Login failed for user 'sa'." in text,
                "no 'Msg 18456 ... Login failed for user 'sa'.'\n" + describe(result))


def check_missing_database_is_refused(tsql):
    result = tsql.run(["select db_name()"], database="NoSuchDatabase")
    text = result[1] + result[2]
    expect_true("Msg 4060" in text, "no 'Msg 4060' for a database that does not exist\n" + describe(result))


def check_database_argument(tsql):
    result = tsql.run(["select db_name()"], database="master")
    expect_true("master" in data_lines(result[1]), "db_name() did not print master\n" + describe(result))


def check_tds_70_is_answered(tsql):
    """A TDS 7.0 client gets its answer (served, or refused with a
    message and the connection closed) instead of waiting forever."""
    try:
        result = tsql.run(["select 1"], timeout=10)
    except subprocess.TimeoutExpired:
        raise AssertionError("tsql with tds version = 7.0 got no answer within 10 s")
    expect_true(result[0] == 0 or "problem connecting" in result[2] or "Msg " in result[1] + result[2],
                "an unclear outcome\n" + describe(result))


def run_checks(server, arguments, checks):
    env = dict(server.env)
    env["FREETDSCONF"] = write_freetds_conf(server)
    env.pop("TDSVER", None)
    targets = (
        ("default encryption (-H -p)", ["-H", server.host, "-p", str(server.port)]),
        ("encryption off", ["-S", "vq_plain"]),
        ("encryption required", ["-S", "vq_tls"]),
    )
    for label, target in targets:
        tsql = Tsql(server, target, env)
        checks.run("%s: login and @@VERSION" % label, check_login_and_version, tsql)
        checks.run("%s: wrong password gives 18456" % label, check_wrong_password_is_refused, tsql)
    tsql = Tsql(server, targets[0][1], env)
    checks.run("create a table, insert, select", check_table_round_trip, tsql)
    checks.run("invalid object gives 208", check_error_has_its_number, tsql)
    checks.run("-D master", check_database_argument, tsql)
    checks.run("-D of a missing database gives 4060", check_missing_database_is_refused, tsql)
    checks.run("a TDS 7.0 login is answered", check_tds_70_is_answered, Tsql(server, ["-S", "vq_tds70"], env))


if __name__ == "__main__":
    if not os.access(TSQL, os.X_OK):
        skip("FreeTDS's tsql is not installed (Debian package freetds-bin)")
    main_with_server("tsql (FreeTDS)", run_checks)
