"""The client tests' shared fixture: a throwaway engine instance served by
`vqsql serve` on a free port of 127.0.0.1, and a small check runner.

Every test script is run as

    /usr/bin/python3 tests/clients/test_X.py --vqsql build/program/vqsql \
        [--program-dir build/program]

and exits 0 when every check passed, 1 when one failed, 77 when the client
it drives is not installed (ctest reports the test as skipped).

The server runs with HOME, VQSQL_HOME and TMPDIR inside the temporary
folder, so it neither reads nor writes the user's own instance. It is
stopped with SIGTERM at the end and must exit with status 0; when it does
not, or a check failed, its standard error is printed.
"""

import argparse
import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

SKIP_EXIT_CODE = 77
DEFAULT_PASSWORD = "Vq'Pw#2024"   # an apostrophe: the server must not splice it
LISTENING_LINE = re.compile(r"^Listening on ([0-9.]+):([0-9]+)\s*$", re.MULTILINE)
STARTUP_SECONDS = 30
STOP_SECONDS = 15


def parse_arguments(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--vqsql", required=True, help="the vqsql binary")
    parser.add_argument("--program-dir", default="",
                        help="the program folder holding the installed database backups (*.mdk)")
    parser.add_argument("--password", default=DEFAULT_PASSWORD, help="the sa password of the instance")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder for a look afterwards")
    return parser.parse_args()


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(SKIP_EXIT_CODE)


def isolated_environment(root):
    """The environment of vqsql: its own home, instance home and temporary folder."""
    env = dict(os.environ)
    for name, sub in (("HOME", "home"), ("VQSQL_HOME", "vqsql-home"), ("TMPDIR", "tmp"),
                      ("XDG_RUNTIME_DIR", "xdg-runtime"), ("XDG_CONFIG_HOME", "xdg-config"),
                      ("XDG_DATA_HOME", "xdg-data"), ("XDG_CACHE_HOME", "xdg-cache")):
        path = os.path.join(root, sub)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[name] = path
    return env


class ServerFailure(Exception):
    pass


class Server:
    """One running `vqsql serve`: its port, its instance folder, its logs."""

    def __init__(self, root, vqsql, password, env):
        self.root = root
        self.vqsql = vqsql
        self.password = password
        self.env = env
        self.instance = os.path.join(root, "instance")
        self.stdout_path = os.path.join(root, "serve.stdout")
        self.stderr_path = os.path.join(root, "serve.stderr")
        self.process = None
        self.host = "127.0.0.1"
        self.port = None

    def init(self):
        os.makedirs(self.instance)
        done = subprocess.run([self.vqsql, "init", "-S", self.instance, "-P", self.password], env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        if done.returncode != 0:
            raise ServerFailure("vqsql init exited with %d:\n%s" % (done.returncode,
                                                                    done.stdout.decode("utf-8", "replace")))

    def start(self, extra_arguments=()):
        # The output goes to files, not pipes: nothing has to drain them
        # while the tests run, and they stay readable after a crash. A
        # restart appends; its own "Listening on" line comes after `seen`.
        seen = len(self.read_stdout()) if os.path.exists(self.stdout_path) else 0
        with open(self.stdout_path, "ab") as out, open(self.stderr_path, "ab") as err:
            self.process = subprocess.Popen(
                [self.vqsql, "serve", "-S", self.instance, "--address", "127.0.0.1", "--port", "0",
                 *extra_arguments],
                env=self.env, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + STARTUP_SECONDS
        while time.monotonic() < deadline:
            match = LISTENING_LINE.search(self.read_stdout()[seen:])
            if match:
                self.host, self.port = match.group(1), int(match.group(2))
                if self.port == 0:
                    raise ServerFailure("the server reported port 0 instead of the port it listens on")
                return
            if self.process.poll() is not None:
                raise ServerFailure("vqsql serve exited with %d before listening" % self.process.returncode)
            time.sleep(0.05)
        raise ServerFailure("vqsql serve printed no 'Listening on' line within %d s" % STARTUP_SECONDS)

    def stop(self):
        """SIGTERM, then the exit status; returns an error text or None."""
        if self.process is None:
            return None
        if self.process.poll() is not None:
            return "the server had already exited with %d" % self.process.returncode
        self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout=STOP_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return "the server did not exit within %d s of SIGTERM (killed)" % STOP_SECONDS
        if code != 0:
            return "the server exited with %d after SIGTERM" % code
        return None

    def restart(self):
        """Stops the server (SIGTERM, exit status 0 required) and serves the
        same instance again, on a new port."""
        problem = self.stop()
        if problem:
            raise ServerFailure(problem)
        self.process = None
        self.start()

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def read_stdout(self):
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def read_stderr(self):
        try:
            with open(self.stderr_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""


@contextlib.contextmanager
def running_server(arguments, extra_serve_arguments=()):
    """Yields a started Server; stops it at the end and raises ServerFailure
    when it does not stop cleanly (its standard error printed)."""
    vqsql = os.path.abspath(arguments.vqsql)
    if not os.access(vqsql, os.X_OK):
        raise ServerFailure("no vqsql binary at " + vqsql)
    root = tempfile.mkdtemp(prefix="vqclients-")
    env = isolated_environment(root)
    server = Server(root, vqsql, arguments.password, env)
    failed = True
    try:
        server.init()
        server.start(extra_serve_arguments)
        yield server
        failed = False
    finally:
        problem = server.stop()
        try:
            if problem or failed:
                print(problem or "the tests ended with an exception; the server's output follows")
                print_server_logs(server)
        finally:   # even when the output can no longer be written
            if arguments.keep:
                print("kept " + root)
            else:
                shutil.rmtree(root, ignore_errors=True)
        if problem and not failed:
            raise ServerFailure(problem)


def print_server_logs(server):
    for title, text in (("standard output", server.read_stdout() if os.path.exists(server.stdout_path) else ""),
                        ("standard error", server.read_stderr())):
        print("---- the server's %s ----" % title)
        print(text.rstrip() or "(empty)")
    print("----")


class Checks:
    """Runs named checks, each a function; a check fails on an exception
    (an AssertionError's text says what differed). Prints one line per
    check and the details of each failure."""

    def __init__(self, title):
        self.title = title
        self.failures = []
        self.passed = 0

    def run(self, name, function, *args):
        started = time.monotonic()
        try:
            function(*args)
        except Exception as e:   # every kind of failure is reported, none stops the group
            self.failures.append(name)
            print("FAIL %s (%.1f s)" % (name, time.monotonic() - started))
            detail = str(e) if isinstance(e, AssertionError) else "".join(
                traceback.format_exception_only(type(e), e)).rstrip()
            for line in detail.splitlines() or [type(e).__name__]:
                print("     " + line)
            return False
        self.passed += 1
        print("ok   %s (%.1f s)" % (name, time.monotonic() - started))
        return True

    def fail(self, name, detail):
        self.failures.append(name)
        print("FAIL %s\n     %s" % (name, detail))

    def summary(self):
        print("%s: %d passed, %d failed" % (self.title, self.passed, len(self.failures)))
        for name in self.failures:
            print("  failed: " + name)
        return 0 if not self.failures else 1


def expect_equal(actual, expected, what):
    if actual != expected:
        raise AssertionError("%s: expected %r, got %r" % (what, expected, actual))


def expect_true(condition, what):
    if not condition:
        raise AssertionError(what)


def sql_string(value):
    """A value as an N'' literal with its apostrophes doubled."""
    return "N'" + value.replace("'", "''") + "'"


def main_with_server(description, run_checks, extra_serve_arguments=()):
    """The common main of a test script: parse the arguments, start the
    server, run the checks, stop the server; exits with the result."""
    arguments = parse_arguments(description)
    checks = Checks(description)
    try:
        with running_server(arguments, extra_serve_arguments) as server:
            run_checks(server, arguments, checks)
            if checks.failures:
                print_server_logs(server)
            if not server.alive():
                checks.fail("server still running after the checks",
                            "exited with %r" % server.process.returncode)
    except ServerFailure as e:
        checks.fail("server lifecycle", str(e))
    sys.exit(checks.summary())
