"""Several pymssql clients at once against one `vqsql serve`, changing the
same catalogue: each thread inserts, renames and deletes account sets of
its own and increments shared counters and shared rows. The only errors
allowed are 1205 (deadlock victim) and 1222 (lock timeout), after which
the client rolls back and does the unit of work again; at the end every
committed change must be there and nothing else."""

import os
import random
import sys
import threading
import time

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from server_fixture import expect_equal, main_with_server, skip  # noqa: E402

try:
    import pymssql
except ImportError:
    pymssql = None

CLIENTS = 8
OPERATIONS = 50
SHARED_ROWS = 3
RETRYABLE = (1205, 1222)
MAX_ATTEMPTS = 60
SEED = int(os.environ.get("VQ_FUZZ_SEED", "20240229"))


def connect(server, autocommit):
    return pymssql.connect(server=server.host, port=str(server.port), user="sa", password=server.password,
                           database="Catalogue", login_timeout=10, timeout=30, charset="UTF-8",
                           autocommit=autocommit)


def error_number(e):
    return e.args[0] if e.args and isinstance(e.args[0], int) else None


def make_catalogue(server):
    c = pymssql.connect(server=server.host, port=str(server.port), user="sa", password=server.password,
                        login_timeout=10, timeout=30, autocommit=True)
    cursor = c.cursor()
    cursor.execute("create database Catalogue")
    cursor.execute("use Catalogue")
    cursor.execute("create table dbo.AccSets (Id int not null primary key, Name nvarchar(60) not null, "
                   "Owner int not null, Version int not null)")
    cursor.execute("create table dbo.Counters (Id int not null primary key, Hits int not null)")
    for i in range(1, SHARED_ROWS + 1):
        cursor.execute("insert into dbo.AccSets values (%d, %s, 0, 0)", (i, "共享账套 %d" % i))
        cursor.execute("insert into dbo.Counters values (%d, 0)", (i,))
    c.close()


class Client(threading.Thread):
    """One connection doing OPERATIONS units of work, each committed on
    its own; remembers what it committed."""

    def __init__(self, server, number):
        super().__init__(name="client-%d" % number)
        self.server = server
        self.number = number
        self.random = random.Random(SEED * 100 + number)
        self.own = {}            # Id -> (Name, Version) of the rows it owns
        self.hits = [0] * (SHARED_ROWS + 1)
        self.retries = 0
        self.errors = []
        self.next_key = 0

    def run(self):
        try:
            self.connection = connect(self.server, autocommit=False)
            self.cursor = self.connection.cursor()
            self.cursor.execute("set lock_timeout 3000")
            self.connection.commit()
            for _ in range(OPERATIONS):
                self.one_operation()
                if len(self.errors) > 5:
                    break
            self.connection.close()
        except Exception as e:   # reported with the others after the join
            self.errors.append("%s: %r" % (self.name, e))

    def one_operation(self):
        choice = self.random.random()
        if choice < 0.3 or not self.own:
            self.next_key += 1
            key = (self.number + 1) * 1000 + self.next_key
            name = "账套 %d-%d O'Neil" % (self.number, self.next_key)
            self.unit([("insert into dbo.AccSets values (%d, %s, %d, 1)", (key, name, self.number))],
                      lambda: self.own.__setitem__(key, (name, 1)))
        elif choice < 0.5:
            key = self.random.choice(sorted(self.own))
            name, version = self.own[key]
            renamed = name.split(" v")[0] + " v%d" % (version + 1)
            self.unit([("update dbo.AccSets set Name = %s, Version = Version + 1 where Id = %d", (renamed, key))],
                      lambda: self.own.__setitem__(key, (renamed, version + 1)), expect_rows=1)
        elif choice < 0.6:
            key = self.random.choice(sorted(self.own))
            self.unit([("delete from dbo.AccSets where Id = %d", (key,))], lambda: self.own.pop(key), expect_rows=1)
        elif choice < 0.9:
            shared = self.random.randint(1, SHARED_ROWS)
            self.unit([("update dbo.Counters set Hits = Hits + 1 where Id = %d", (shared,)),
                       ("update dbo.AccSets set Version = Version + 1 where Id = %d", (shared,))],
                      lambda: self.hits.__setitem__(shared, self.hits[shared] + 1), expect_rows=1)
        else:
            self.unit([("select count(*) from dbo.AccSets where Owner = %d", (self.number,))], lambda: None)

    def unit(self, statements, on_commit, expect_rows=None):
        for attempt in range(MAX_ATTEMPTS):
            try:
                for sql, parameters in statements:
                    self.cursor.execute(sql, parameters)
                    if sql.startswith("select"):
                        self.cursor.fetchall()
                    elif expect_rows is not None and self.cursor.rowcount != expect_rows:
                        self.errors.append("%s: %s %r changed %d rows, expected %d" % (
                            self.name, sql, parameters, self.cursor.rowcount, expect_rows))
                self.connection.commit()
                on_commit()
                return
            except pymssql.Error as e:
                if error_number(e) not in RETRYABLE:
                    self.errors.append("%s: %s gave %r" % (self.name, statements, e.args))
                    self.rollback_quietly()
                    return
                self.retries += 1
                self.rollback_quietly()
                time.sleep(self.random.uniform(0.001, 0.02) * (attempt + 1))
        self.errors.append("%s: %r still failing after %d attempts" % (self.name, statements, MAX_ATTEMPTS))

    def rollback_quietly(self):
        try:
            self.connection.rollback()
        except pymssql.Error as e:
            if error_number(e) not in RETRYABLE:
                self.errors.append("%s: rollback gave %r" % (self.name, e.args))


def check_concurrent_clients(server):
    make_catalogue(server)
    clients = [Client(server, n) for n in range(CLIENTS)]
    started = time.monotonic()
    for client in clients:
        client.start()
    for client in clients:
        client.join(timeout=120)
    elapsed = time.monotonic() - started
    hung = [client.name for client in clients if client.is_alive()]
    print("     %d clients x %d operations in %.1f s, %d retries after 1205/1222" % (
        CLIENTS, OPERATIONS, elapsed, sum(client.retries for client in clients)))
    errors = [error for client in clients for error in client.errors]
    if hung or errors:
        raise AssertionError("\n".join(["hung: %s" % hung] * bool(hung) + errors))

    c = connect(server, autocommit=True)
    cursor = c.cursor()
    cursor.execute("select Id, Name, Owner, Version from dbo.AccSets where Id > %d order by Id", (SHARED_ROWS,))
    actual_own = {row[0]: (row[1], row[3], row[2]) for row in cursor.fetchall()}
    expected_own = {key: (name, version, client.number) for client in clients
                    for key, (name, version) in client.own.items()}
    expect_equal(actual_own, expected_own, "the account sets each client owns")
    cursor.execute("select c.Id, c.Hits, a.Version from dbo.Counters c join dbo.AccSets a on a.Id = c.Id order by c.Id")
    expected_hits = [(i, sum(client.hits[i] for client in clients), sum(client.hits[i] for client in clients))
                     for i in range(1, SHARED_ROWS + 1)]
    expect_equal(cursor.fetchall(), expected_hits, "the shared counters and the shared rows' versions")
    c.close()


def run_checks(server, arguments, checks):
    checks.run("%d clients x %d operations on one catalogue" % (CLIENTS, OPERATIONS), check_concurrent_clients,
               server)


if __name__ == "__main__":
    if pymssql is None:
        skip("pymssql is not installed for /usr/bin/python3 (Debian package python3-pymssql)")
    main_with_server("concurrent pymssql clients", run_checks)
