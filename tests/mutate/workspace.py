"""A private copy of the tracked sources with a native build of its own.

The checkout is shared: nothing here writes to it. Each workspace lives in
<build root>/mutate/s<n>/ (main/ the copy, build/native the build folder) and
is held by a lock file, so two runs never share one. A copy and its build
stay between runs, like any build folder, so the next run builds only what
changed; a planted change is always undone before the run ends.
"""

import fcntl
import hashlib
import io
import json
import os
import re
import shlex
import shutil
import signal
import subprocess
import tarfile
import threading
import time


def tracked_files(root, rev=None):
    """{path: bytes} of the tracked files, from the working tree or a commit."""
    if rev:
        data = subprocess.run(["git", "-C", root, "archive", "--format=tar", rev],
                              check=True, capture_output=True).stdout
        files = {}
        with tarfile.open(fileobj=io.BytesIO(data)) as tar:
            for member in tar:
                if member.isfile():
                    files[member.name] = tar.extractfile(member).read()
        return files
    out = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                         capture_output=True).stdout
    files = {}
    for name in out.decode().split("\0"):
        path = os.path.join(root, name)
        if name and os.path.isfile(path) and not os.path.islink(path):
            with open(path, "rb") as f:
                files[name] = f.read()
    return files


def digest(data):
    return hashlib.sha256(data).hexdigest()


class Workspace:
    def __init__(self, source_root, build_root, slot, nice=10, ninja_jobs=2, run_with=""):
        self.dir = os.path.join(build_root, "mutate", f"s{slot}")
        # The copy and its build folder stand to each other as the tree and
        # its own build folder do, so compiler-cache entries serve both.
        self.copy = os.path.join(self.dir, os.path.basename(source_root))
        native = os.path.join(build_root, "native")
        inside = os.path.relpath(native, source_root)
        if inside.startswith(".."):
            self.build = os.path.join(self.dir, "build", "native")
        else:
            self.build = os.path.join(self.copy, inside)
        self.nice = nice
        self.ninja_jobs = ninja_jobs
        self.run_with = shlex.split(run_with) if run_with else []
        self.lock_file = None
        self.process = None
        self.lock = threading.Lock()
        self.inputs = {}
        self.tests = None

    # --- holding the slot ----------------------------------------------------

    def acquire(self):
        os.makedirs(self.dir, exist_ok=True)
        self.lock_file = open(os.path.join(self.dir, "lock"), "w")
        try:
            fcntl.flock(self.lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            self.lock_file.close()
            self.lock_file = None
            return False
        return True

    def release(self):
        if self.lock_file:
            self.lock_file.close()
            self.lock_file = None

    # --- the copy ------------------------------------------------------------

    def sync(self, files):
        """Makes the copy hold exactly these files; unchanged ones keep their time."""
        manifest_path = os.path.join(self.dir, "manifest.json")
        old = []
        if os.path.exists(manifest_path):
            with open(manifest_path) as f:
                old = json.load(f)
        for name in set(old) - set(files):
            path = os.path.join(self.copy, name)
            if os.path.exists(path):
                os.remove(path)
        changed = 0
        for name, data in files.items():
            path = os.path.join(self.copy, name)
            try:
                with open(path, "rb") as f:
                    if f.read() == data:
                        continue
            except OSError:
                os.makedirs(os.path.dirname(path), exist_ok=True)
            self.write(name, data)
            changed += 1
        with open(manifest_path, "w") as f:
            json.dump(sorted(files), f)
        return changed

    def write(self, name, data):
        path = os.path.join(self.copy, name)
        tmp = path + ".mutate-tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)

    def restore(self, names, files):
        """Undoes any change still planted in these files."""
        for name in names:
            path = os.path.join(self.copy, name)
            try:
                with open(path, "rb") as f:
                    if f.read() == files[name]:
                        continue
            except OSError:
                continue
            self.write(name, files[name])

    # --- building and running -------------------------------------------------

    def env(self):
        env = dict(os.environ)
        # Objects built from the copy may come from the compiler cache of the
        # tree's own build folder when the paths are the same relative to it.
        env.setdefault("CCACHE_NOHASHDIR", "1")
        # A suite stops at its first failure: one is enough to kill a mutant.
        env["GTEST_FAIL_FAST"] = "1"
        return env

    def run(self, argv, timeout=None, cwd=None):
        """Runs argv at low priority in a process group of its own; (code, output, seconds).
        code is None on timeout."""
        argv = ["nice", "-n", str(self.nice)] + argv
        started = time.monotonic()
        with self.lock:
            self.process = subprocess.Popen(argv, cwd=cwd, env=self.env(), stdout=subprocess.PIPE,
                                            stderr=subprocess.STDOUT, start_new_session=True)
        try:
            out, _ = self.process.communicate(timeout=timeout)
            code = self.process.returncode
        except subprocess.TimeoutExpired:
            self.kill()
            out, _ = self.process.communicate()
            code = None
        finally:
            with self.lock:
                self.process = None
        return code, out.decode(errors="replace"), time.monotonic() - started

    def kill(self):
        with self.lock:
            if self.process and self.process.poll() is None:
                try:
                    os.killpg(self.process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass

    def configure(self):
        if os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            return 0, ""
        argv = ["cmake", "-S", self.copy, "--preset", "native", "-B", self.build]
        if shutil.which("ccache"):
            argv += ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        code, out, _ = self.run(argv, cwd=self.copy)
        return code, out

    def ninja(self, targets, timeout=3600):
        code, out, _ = self.run(["ninja", "-C", self.build, f"-j{self.ninja_jobs}"] + targets,
                                timeout=timeout)
        return code == 0, out

    def query_tests(self):
        """{test name: executable target relative to the build folder} for the
        tests whose program is built here (read from CTest's files, which name
        the programs before they exist)."""
        if self.tests is None:
            self.tests = {}
            pattern = re.compile(r'^add_test\(\[=\[(.+?)\]=\] "([^"]+)"', re.M)
            for folder, _, names in os.walk(self.build):
                if "CTestTestfile.cmake" in names:
                    with open(os.path.join(folder, "CTestTestfile.cmake")) as f:
                        for name, program in pattern.findall(f.read()):
                            if program.startswith(self.build + os.sep):
                                self.tests[name] = os.path.relpath(program, self.build)
        return self.tests

    def object_of(self, name, regenerated=False):
        source = os.path.join(self.copy, name)
        out = subprocess.run(["ninja", "-C", self.build, "-t", "query", source],
                             capture_output=True, text=True).stdout
        lines = out.splitlines()
        if "  outputs:" not in lines:
            if regenerated:
                return None
            # A source new since the build folder was configured: the build
            # files list it only once they are made again (the folders' file
            # globs are checked when build.ninja is brought up to date).
            subprocess.run(["ninja", "-C", self.build, "build.ninja"], capture_output=True)
            self.inputs.clear()
            return self.object_of(name, regenerated=True)
        outputs = lines[lines.index("  outputs:") + 1 :]
        objects = [o.strip() for o in outputs if o.strip().endswith((".o", ".obj"))]
        return objects[0] if objects else None

    def suites_linking(self, name):
        """The tests whose program (or a module it waits for) is built from the file."""
        obj = self.object_of(name)
        if obj is None:
            return []
        found = []
        for test, target in sorted(self.query_tests().items()):
            if target not in self.inputs:
                out = subprocess.run(["ninja", "-C", self.build, "-t", "inputs", target],
                                     capture_output=True, text=True).stdout
                self.inputs[target] = set(out.split())
            if obj in self.inputs[target]:
                found.append(test)
        return found

    def run_suite(self, test, timeout):
        """'pass', 'fail' or 'timeout' for one test, stopping at its first failure."""
        argv = self.run_with + ["ctest", "--test-dir", self.build, "-R", f"^{test}$",
                                "--timeout", str(int(timeout)), "--output-on-failure"]
        code, out, seconds = self.run(argv, timeout=timeout + 30)
        if code is None or "***Timeout" in out:
            return "timeout", out, seconds
        if code == 0 and "100% tests passed" in out:
            return "pass", out, seconds
        return "fail", out, seconds
