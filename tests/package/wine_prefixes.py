"""Fresh Wine prefixes, one per Windows version the product must run on.

Each is made once per run (wineboot in a temporary folder, all of them at the
same time), with the version set as a user of Wine sets it
(HKCU\\Software\\Wine, value Version), the null display driver and no crash
dialog, as the build's own prefix has them.
"""

import os
import shutil
import subprocess
import tempfile
import threading

VERSIONS = {"Windows XP": "winxp", "Windows 7": "win7", "Windows 10": "win10"}


def wine_env(prefix):
    env = dict(os.environ)
    for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "no_proxy", "NO_PROXY",
                 "DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env.update(WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="zh_CN.UTF-8")
    return env


def wine(prefix, *args, timeout=300, check=True):
    """Runs a Wine program in `prefix`; its standard output as text."""
    result = subprocess.run(["wine", *args], env=wine_env(prefix), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
    if check and result.returncode != 0:
        raise RuntimeError(f"wine {' '.join(args)}: exit code {result.returncode}")
    return result.stdout.decode("gbk", errors="replace")


def make_prefix(prefix, version):
    env = wine_env(prefix)
    os.makedirs(prefix)
    subprocess.run(["timeout", "-k", "10", "300", "wineboot", "-i"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for key, value, kind, data in (("HKCU\\Software\\Wine", "Version", "REG_SZ", version),
                                   ("HKCU\\Software\\Wine\\Drivers", "Graphics", "REG_SZ", "null"),
                                   ("HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "REG_DWORD", "0")):
        wine(prefix, "reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f", timeout=60)
    # Warm for a minute after its last program, as the build's prefix is.
    subprocess.run(["wineserver", "-p60"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Prefixes:
    """The prefixes of one run, made in parallel; removed (servers ended) at the end."""

    def __init__(self):
        self.top = tempfile.mkdtemp(prefix="quarn-winver-")
        self.paths = {name: os.path.join(self.top, version) for name, version in VERSIONS.items()}
        self.errors = {}
        threads = [threading.Thread(target=self._make, args=(name,)) for name in self.paths]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    def _make(self, name):
        try:
            make_prefix(self.paths[name], VERSIONS[name])
        except Exception as error:  # reported by the test that needs this prefix
            self.errors[name] = error

    def get(self, name):
        if name in self.errors:
            raise RuntimeError(f"the {name} prefix could not be made: {self.errors[name]}")
        return self.paths[name]

    def unix_path(self, name, windows_path):
        """The Unix path of a C: path of the prefix."""
        drive, _, rest = windows_path.partition(":")
        assert drive.upper() == "C", windows_path
        return os.path.join(self.get(name), "drive_c", *[p for p in rest.split("\\") if p])

    def remove(self):
        for prefix in self.paths.values():
            subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        shutil.rmtree(self.top, ignore_errors=True)
