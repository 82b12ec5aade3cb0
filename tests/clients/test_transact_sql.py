"""The Transact-SQL that desktop clients write, through pymssql (FreeTDS)
against `vqsql serve`: a procedure of one's own with OUTPUT parameters
called as an RPC, a temporary table living across the batches of one
connection and invisible to another, a cursor fetched one row per batch,
TRY/CATCH with RAISERROR, a recursive common table expression and
SELECT ... INTO a temporary table."""

import os
import sys

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from server_fixture import expect_equal, expect_true, main_with_server, skip  # noqa: E402
from test_pymssql import all_rows, connect, error_text, execute, expect_error, pymssql, scalar  # noqa: E402

VOUCHER = "会计凭证"


def check_procedure_with_output_parameters(server):
    with connect(server) as c:
        execute(c, "create procedure dbo.CountVouchers @Kind nvarchar(20), @Factor int = 2, "
                   "@Doubled int output, @Echo nvarchar(40) output as\n"
                   "begin\n"
                   "  set nocount on\n"
                   "  set @Doubled = len(@Kind) * @Factor\n"
                   "  set @Echo = @Kind + N'!'\n"
                   "  return 7\n"
                   "end")
        cursor = c.cursor()
        # callproc is an RPC with positional parameters (FreeTDS reads
        # OUTPUT values only of a procedure that returns no rows).
        result = cursor.callproc("dbo.CountVouchers", (VOUCHER, 3, pymssql.output(int), pymssql.output(str)))
        expect_equal(result[2], len(VOUCHER) * 3, "the first OUTPUT parameter (all: %r)" % (result,))
        expect_equal(result[3], VOUCHER + "!", "the second OUTPUT parameter")
        cursor.close()
        # The same procedure from a batch: named arguments, DEFAULT and the RETURN value.
        rows = all_rows(c, "declare @d int, @e nvarchar(40), @rc int\n"
                           "exec @rc = dbo.CountVouchers @Doubled = @d output, @Kind = N'ab''c', "
                           "@Factor = default, @Echo = @e output\n"
                           "select @rc, @d, @e")
        expect_equal(rows, [(7, 8, "ab'c!")], "RETURN value, OUTPUT and DEFAULT from a batch")


def check_temporary_table_across_batches(server):
    with connect(server) as owner, connect(server) as other:
        execute(owner, "create table #Draft (Id int identity primary key, Note nvarchar(20) not null)")
        execute(owner, "insert into #Draft (Note) values (N'%s')" % VOUCHER)
        execute(owner, "insert into #Draft (Note) values (N'second')")
        expect_equal(scalar(owner, "select count(*) from #Draft"), 2, "the rows in a later batch")
        expect_true(scalar(owner, "select object_id('tempdb..#Draft')") is not None,
                    "object_id('tempdb..#Draft') on the connection that made it")
        expect_equal(scalar(other, "select object_id('tempdb..#Draft')"), None,
                     "object_id('tempdb..#Draft') on another connection")
        expect_error(lambda: scalar(other, "select count(*) from #Draft"), 208,
                     "another connection reading the temporary table")
        # The other connection may have a #Draft of its own.
        execute(other, "create table #Draft (Code varchar(4) null)")
        expect_equal(scalar(other, "select count(*) from #Draft"), 0, "the other connection's own #Draft")
        expect_equal(scalar(owner, "select Note from #Draft where Id = 1"), VOUCHER, "the first #Draft unchanged")


def check_cursor_fetched_row_by_row(server):
    with connect(server) as c:
        execute(c, "create table dbo.CursorLedger (Id int primary key, Amount money not null)")
        execute(c, "insert into dbo.CursorLedger values (1, 10.5), (2, 20), (3, 30.25)")
        execute(c, "declare LedgerRows cursor global scroll for select Id, Amount from dbo.CursorLedger order by Id")
        execute(c, "open LedgerRows")
        seen = []
        while True:
            cursor = c.cursor()
            cursor.execute("fetch next from LedgerRows")
            row = cursor.fetchone()
            cursor.close()
            status = scalar(c, "select @@fetch_status")
            if status != 0:
                expect_equal(row, None, "no row once @@FETCH_STATUS is %r" % (status,))
                break
            seen.append((row[0], float(row[1])))
        expect_equal(seen, [(1, 10.5), (2, 20.0), (3, 30.25)], "the rows fetched one per batch")
        expect_equal(all_rows(c, "fetch first from LedgerRows"), [(1, 10.5)], "FETCH FIRST of a scroll cursor")
        execute(c, "close LedgerRows")
        execute(c, "deallocate LedgerRows")
        expect_error(lambda: execute(c, "open LedgerRows"), 16916, "opening a deallocated cursor")


def check_try_catch_and_raiserror(server):
    with connect(server) as c:
        rows = all_rows(c, "declare @x int\n"
                           "begin try\n"
                           "  set @x = 1 / 0\n"
                           "end try\n"
                           "begin catch\n"
                           "  select error_number(), error_severity(), error_line(), error_message()\n"
                           "end catch")
        expect_equal(rows[0][:3], (8134, 16, 3), "ERROR_NUMBER, ERROR_SEVERITY and ERROR_LINE in CATCH")
        error = expect_error(lambda: execute(c, "raiserror(N'凭证 %s is out of balance by %d', 16, 1, N'记-7', 42)"),
                             50000, "RAISERROR with arguments")
        expect_true("凭证 记-7 is out of balance by 42" in error_text(error),
                    "the text of RAISERROR: %r" % (error_text(error),))


def check_recursive_cte_and_select_into(server):
    with connect(server) as c:
        execute(c, "create table dbo.Accounts (Code varchar(12) primary key, Parent varchar(12) null, "
                   "Name nvarchar(20) not null)")
        execute(c, "insert into dbo.Accounts values ('1001', null, N'库存现金'), ('1002', null, N'银行存款'), "
                   "('100201', '1002', N'工行'), ('10020101', '100201', N'基本户')")
        execute(c, "with Tree (Code, Depth) as (\n"
                   "  select Code, 1 from dbo.Accounts where Parent is null\n"
                   "  union all\n"
                   "  select a.Code, t.Depth + 1 from dbo.Accounts a join Tree t on a.Parent = t.Code)\n"
                   "select Code, Depth into #Levels from Tree")
        expect_equal(all_rows(c, "select Code, Depth from #Levels order by Code"),
                     [("1001", 1), ("1002", 1), ("100201", 2), ("10020101", 3)], "the tree's levels")


def run_checks(server, arguments, checks):
    checks.run("a procedure with OUTPUT parameters as an RPC and from a batch",
               check_procedure_with_output_parameters, server)
    checks.run("a temporary table across batches, invisible to another connection",
               check_temporary_table_across_batches, server)
    checks.run("a cursor fetched row by row across batches", check_cursor_fetched_row_by_row, server)
    checks.run("TRY/CATCH and RAISERROR", check_try_catch_and_raiserror, server)
    checks.run("a recursive CTE into a temporary table", check_recursive_cte_and_select_into, server)


if __name__ == "__main__":
    if pymssql is None:
        skip("pymssql is not installed for /usr/bin/python3 (Debian package python3-pymssql)")
    main_with_server("Transact-SQL through pymssql", run_checks)
