"""Runs the release tests and writes their report as GoogleTest does.

    run_package.py --dist DIR --work DIR --simulator PROGRAM [--no-wine] [unittest names...]

DIR is what `./quarn package` wrote (dist/) and its work folder (the staged
Windows release, the test certificate, the lintian report). The report goes
where GTEST_OUTPUT ("xml:<file>") says, so `./quarn test` counts each test.
"""

import argparse
import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

import package_test  # noqa: E402
from run_e2e import TimedResult, write_report  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--no-wine", action="store_true")
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    package_test.OPTIONS.update(dist=os.path.abspath(options.dist), work=os.path.abspath(options.work),
                                simulator=os.path.abspath(options.simulator), wine=not options.no_wine)
    loader = unittest.TestLoader()
    if options.names:
        suite = loader.loadTestsFromNames(["package_test." + n for n in options.names])
    elif options.no_wine:
        suite = unittest.TestSuite(loader.loadTestsFromTestCase(c)
                                   for c in (package_test.Signatures, package_test.DebianPackage))
    else:
        suite = loader.loadTestsFromModule(package_test)
    started = time.monotonic()
    result = unittest.TextTestRunner(resultclass=TimedResult, verbosity=2, stream=sys.stdout).run(suite)
    total = time.monotonic() - started
    write_report(result.rows, total)
    print(f"release tests: {total:.1f} s")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
