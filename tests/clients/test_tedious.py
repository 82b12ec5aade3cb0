"""Runs test_tedious.js (tedious, Node.js's SQL Server client) with node
against a `vqsql serve` of its own; the script's checks print their own
lines, a failing one makes this test fail."""

import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, HERE)
from server_fixture import main_with_server, skip  # noqa: E402

NODE = shutil.which("node") or "/usr/bin/node"
SCRIPT_SECONDS = 120


def run_checks(server, arguments, checks):
    env = dict(server.env)
    env.update(VQ_TDS_HOST=server.host, VQ_TDS_PORT=str(server.port), VQ_TDS_PASSWORD=server.password)
    try:
        done = subprocess.run([NODE, "--no-deprecation", os.path.join(HERE, "test_tedious.js")], cwd=HERE, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=SCRIPT_SECONDS)
    except subprocess.TimeoutExpired as e:
        print((e.stdout or b"").decode("utf-8", "replace"))
        checks.fail("test_tedious.js", "did not finish within %d s" % SCRIPT_SECONDS)
        return
    output = done.stdout.decode("utf-8", "replace")
    print(output.rstrip())
    # Each of the script's lines counts as a check of this group.
    checks.passed += sum(1 for line in output.splitlines() if line.startswith("ok   "))
    checks.failures += [line[5:] for line in output.splitlines() if line.startswith("FAIL ")]
    if done.returncode != 0 and not checks.failures:
        checks.fail("test_tedious.js", "exited with %d" % done.returncode)


if __name__ == "__main__":
    if not os.access(NODE, os.X_OK):
        skip("Node.js is not installed (Debian package nodejs)")
    if not os.path.isdir(os.path.join(HERE, "node_modules", "tedious")):
        skip("tedious is not installed: run `npm ci` in tests/clients (scripts/test.sh does)")
    main_with_server("tedious (Node.js)", run_checks)
