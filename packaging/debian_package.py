"""The Debian package of the Linux port, built with dpkg-deb (no network).

    /opt/quarn/                     the programs and modules, as one assistant directory
    /opt/quarn/quarn-assistant      the session's start: links them into the user's
                                    assistant directory, then runs the assistant
    /usr/bin/quarnctl, quarnsim     links into /opt/quarn
    /etc/xdg/autostart/TarnAssistant.desktop   the logon start of every user
    /usr/share/man/man1/            quarnctl.1, quarnsim.1
"""

import gzip
import hashlib
import os
import shutil
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCES = os.path.join(HERE, "debian")
ROOT = os.path.dirname(HERE)
PACKAGE = "quarn"
PREFIX = "opt/quarn"


def run(*command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


def install(source, target, mode):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(source, target)
    os.chmod(target, mode)


def gzip_to(source_bytes, target):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    # mtime 0 and level 9: the same input gives the same package.
    with open(target, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", compresslevel=9, mtime=0,
                                                  filename="") as f:
        f.write(source_bytes)
    os.chmod(target, 0o644)


def is_program(name):
    return name.endswith(".exe") or name == "quarnsim"


def shared_library_depends(tree, files):
    """shlibs:Depends for the ELF files, from dpkg-shlibdeps."""
    scratch = os.path.join(os.path.dirname(tree), "shlibdeps")
    os.makedirs(os.path.join(scratch, "debian"), exist_ok=True)
    with open(os.path.join(scratch, "debian", "control"), "w") as f:
        f.write(f"Source: {PACKAGE}\n\nPackage: {PACKAGE}\nArchitecture: any\n")
    # The product's own modules are loaded by path, never through NEEDED.
    result = run("dpkg-shlibdeps", "-O", "--ignore-missing-info", *[f"-e{f}" for f in files],
                 cwd=scratch, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    for line in result.stdout.splitlines():
        if line.startswith("shlibs:Depends="):
            return line.split("=", 1)[1]
    return ""


def debian_changelog(version):
    stamp = time.strftime("%a, %d %b %Y %H:%M:%S +0000", time.gmtime(source_date()))
    return (f"{PACKAGE} ({version}) stable; urgency=medium\n\n"
            f"  * Release {version}; see CHANGELOG.md of the source tree.\n\n"
            f" -- Quarn Release Team <release@quarn.example.com>  {stamp}\n").encode()


def source_date():
    """The last commit's time (the same tree gives the same dates), else now."""
    try:
        out = run("git", "-C", ROOT, "log", "-1", "--format=%ct", stdout=subprocess.PIPE,
                  stderr=subprocess.DEVNULL, text=True).stdout.strip()
        return int(out)
    except (subprocess.CalledProcessError, ValueError, FileNotFoundError):
        return int(time.time())


def write_md5sums(tree):
    lines = []
    for folder, _, names in sorted(os.walk(tree)):
        for name in sorted(names):
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, tree)
            if relative.startswith("DEBIAN") or os.path.islink(path):
                continue
            with open(path, "rb") as f:
                lines.append(f"{hashlib.md5(f.read()).hexdigest()}  {relative}\n")
    with open(os.path.join(tree, "DEBIAN", "md5sums"), "w", encoding="utf-8") as f:
        f.writelines(lines)


def build(release_bin, files, version, work, out):
    tree = os.path.join(work, "tree")
    shutil.rmtree(tree, ignore_errors=True)
    prefix = os.path.join(tree, PREFIX)
    for name in files:
        target = os.path.join(prefix, name)
        install(os.path.join(release_bin, name), target, 0o755 if is_program(name) else 0o644)
        run("strip", "--strip-unneeded", "--remove-section=.comment", "--remove-section=.note", target)
    install(os.path.join(SOURCES, "quarn-assistant"), os.path.join(prefix, "quarn-assistant"), 0o755)
    os.makedirs(os.path.join(tree, "usr/bin"))
    for link, name in (("quarnctl", "quarnctl.exe"), ("quarnsim", "quarnsim")):
        os.symlink(f"/{PREFIX}/{name}", os.path.join(tree, "usr/bin", link))
    install(os.path.join(SOURCES, "TarnAssistant.desktop"),
            os.path.join(tree, "etc/xdg/autostart/TarnAssistant.desktop"), 0o644)
    for page in ("quarnctl.1", "quarnsim.1"):
        with open(os.path.join(SOURCES, page), "rb") as f:
            gzip_to(f.read(), os.path.join(tree, "usr/share/man/man1", page + ".gz"))
    doc = os.path.join(tree, "usr/share/doc", PACKAGE)
    install(os.path.join(SOURCES, "copyright"), os.path.join(doc, "copyright"), 0o644)
    gzip_to(debian_changelog(version), os.path.join(doc, "changelog.gz"))
    install(os.path.join(SOURCES, "lintian-overrides"),
            os.path.join(tree, "usr/share/lintian/overrides", PACKAGE), 0o644)

    elf = [os.path.join(prefix, n) for n in files]
    depends = shared_library_depends(tree, elf)
    size_kb = sum(os.lstat(os.path.join(d, f)).st_size for d, _, fs in os.walk(tree) for f in fs) // 1024
    with open(os.path.join(SOURCES, "control.in"), encoding="utf-8") as f:
        control = f.read().format(package=PACKAGE, version=version, depends=depends, size=size_kb)
    os.makedirs(os.path.join(tree, "DEBIAN"))
    with open(os.path.join(tree, "DEBIAN", "control"), "w", encoding="utf-8") as f:
        f.write(control)
    # The autostart entry is configuration: an administrator's change survives upgrades.
    with open(os.path.join(tree, "DEBIAN", "conffiles"), "w", encoding="ascii") as f:
        f.write("/etc/xdg/autostart/TarnAssistant.desktop\n")
    write_md5sums(tree)
    for d, dirs, _ in os.walk(tree):
        for name in dirs:
            os.chmod(os.path.join(d, name), 0o755)
    target = os.path.join(out, f"{PACKAGE}_{version}_amd64.deb")
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(source_date()))
    run("dpkg-deb", "--root-owner-group", "-Zxz", "--build", tree, target, env=env,
        stdout=subprocess.DEVNULL)
    return target


def lintian(deb, report):
    """Runs lintian on the package, writes its output to `report`; a one-line summary."""
    result = subprocess.run(["lintian", "--info", "--display-info", "--show-overrides", deb],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    with open(report, "w", encoding="utf-8") as f:
        f.write(result.stdout)
    tags = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:", "I:", "N:", "O:")]
    kinds = {k: sum(1 for t in tags if t.startswith(k)) for k in ("E:", "W:", "I:", "O:")}
    return (f"{kinds['E:']} errors, {kinds['W:']} warnings, {kinds['I:']} notes, "
            f"{kinds['O:']} overridden (full output: {report})")
