"""Runs the end-to-end scenarios and writes their report as GoogleTest does.

    run_e2e.py --bin DIR --simulator PROGRAM [--wine] [unittest names...]

The report goes where GTEST_OUTPUT ("xml:<folder>/") says, as test_e2e.xml,
so `./quarn test` counts each scenario. Exit code 77 (skipped) when the
simulator, which is built natively only, is not there.
"""

import argparse
import os
import sys
import time
import unittest
from xml.sax.saxutils import quoteattr

import e2e_test
import hostile_neighbour_test
import hostile_server_test
import key_serial_test
import liveness_test

SKIPPED = 77


class TimedResult(unittest.TextTestResult):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.rows = []

    def startTest(self, test):
        self.started = time.monotonic()
        super().startTest(test)

    def _row(self, test, failure=None, skipped=False):
        # A class whose set-up failed reports before any of its tests started.
        started = getattr(self, "started", time.monotonic())
        self.rows.append((test.id().split(".")[-1], time.monotonic() - started, failure, skipped))

    def addSuccess(self, test):
        super().addSuccess(test)
        self._row(test)

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._row(test, self._exc_info_to_string(err, test))

    def addError(self, test, err):
        super().addError(test, err)
        self._row(test, self._exc_info_to_string(err, test))

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self._row(test, skipped=True)

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self._row(subtest, self._exc_info_to_string(err, subtest))


def write_report(rows, total):
    output = os.environ.get("GTEST_OUTPUT", "")
    if not output.startswith("xml:"):
        return
    folder = output[4:]
    if folder.startswith("Z:"):
        folder = folder[2:].replace("\\", "/")
    path = os.path.join(folder, "test_e2e.xml") if folder.endswith("/") else folder
    failures = sum(1 for row in rows if row[2])
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             f'<testsuites tests="{len(rows)}" failures="{failures}" disabled="0" errors="0" '
             f'time="{total:.3f}" name="AllTests">',
             f'  <testsuite name="EndToEnd" tests="{len(rows)}" failures="{failures}" '
             f'disabled="0" skipped="0" errors="0" time="{total:.3f}">']
    for name, seconds, failure, skipped in rows:
        result = "skipped" if skipped else "completed"
        head = (f'    <testcase name={quoteattr(name)} status="run" result="{result}" '
                f'time="{seconds:.3f}" classname="EndToEnd"')
        if failure:
            lines += [head + ">", f"      <failure message={quoteattr(failure[:2000])} type=\"\"/>",
                      "    </testcase>"]
        else:
            lines.append(head + " />")
    lines += ["  </testsuite>", "</testsuites>", ""]
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    if not os.access(options.simulator, os.X_OK):
        print(f"no simulator at {options.simulator} (it is built by the native preset): skipped")
        return SKIPPED
    modules = (e2e_test, hostile_server_test, hostile_neighbour_test, key_serial_test,
               liveness_test)
    for module in modules:
        module.OPTIONS.update(bin=options.bin, simulator=options.simulator, wine=options.wine)
    loader = unittest.TestLoader()
    # A name is looked up in the module that has its class.
    names = [next(m.__name__ for m in modules if hasattr(m, n.split(".")[0])) + "." + n
             for n in options.names]
    suite = (loader.loadTestsFromNames(names) if names
             else unittest.TestSuite(loader.loadTestsFromModule(m) for m in modules))
    started = time.monotonic()
    runner = unittest.TextTestRunner(resultclass=TimedResult, verbosity=2, stream=sys.stdout)
    result = runner.run(suite)
    total = time.monotonic() - started
    write_report(result.rows, total)
    print(f"end-to-end scenarios: {total:.1f} s")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    sys.exit(main())
