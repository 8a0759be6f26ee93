"""Removal benchmark (not a test): an installation of 20,000 files in 2,000
folders, every one listed in the manifest, removed end to end in a fresh
machine of the test bed; then the same tree again, removed by a plain
FindFirstFileW/DeleteFileW/RemoveDirectoryW loop in the same machine.

    KIVO_BUILD_DIR=build /usr/bin/python3 scripts/bench_removal.py [--files N --folders N]

The removal time runs from the answer Yes to the completion message, read
from the tick counts of the uninstall log: the line after the confirmation
returns ("Uninstall confirmation answered 6") and the start of the task that
shows the message ("run task name CompleteUninstall start").
"""

import argparse
import os
import re
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))

from kivo import DEFAULT_INSTALL_DIR, install_kivo, uninstall_manifest  # noqa: E402
from machine import Bed, Machine, Template  # noqa: E402
from removal import uninstall  # noqa: E402

KIVO = DEFAULT_INSTALL_DIR
LOG_TICK = re.compile(rb"^\[\d+:\d+:\d{4}/\d{6}:(\d+):[A-Z_]+:[^\]]*\] (.*)$")


def tree(files, folders):
    """Relative folder and file paths: |folders| folders (up to 40 top folders,
    the rest spread over them as subfolders), the files spread evenly."""
    tops = [f"area{t:02}" for t in range(min(40, folders))]
    dirs = list(tops)
    for s in range(folders - len(tops)):
        dirs.append(rf"{tops[s % len(tops)]}\part{s // len(tops):03}")
    paths = [rf"{dirs[i % len(dirs)]}\file{i:05}.dat" for i in range(files)]
    return dirs, paths


def write_tree(machine, root, dirs, paths):
    host = machine.host_path(root)
    for d in dirs:
        (host / d.replace("\\", "/")).mkdir(parents=True, exist_ok=True)
    for p in paths:
        (host / p.replace("\\", "/")).write_bytes(b"kivo bench data\n")


def log_ticks(machine):
    ticks = {}
    for raw in machine.read_bytes(machine.log_file).split(b"\n"):
        match = LOG_TICK.match(raw)
        if match:
            ticks.setdefault(match.group(2).decode("utf-8", "replace"), int(match.group(1)))
    return ticks


def plain_loop(machine, root, dirs, paths):
    """Milliseconds the plain loop took over a fresh copy of the tree (measured
    inside the machine, without the tool's process start)."""
    write_tree(machine, root, dirs, paths)
    result = machine.run(machine.tool("delete_tree"), root, timeout=3600)
    if result.code != 0 or machine.exists(root):
        print(f"warning: the plain loop did not remove everything: {result.stdout.strip()}")
    return int(re.search(r"ms=(\d+)", result.stdout).group(1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--folders", type=int, default=2000)
    args = parser.parse_args()

    bed = Bed.from_environment()
    template = Template(bed).ensure()
    home = bed.work_dir / "bench"
    Machine.stop_servers_under(home)
    shutil.rmtree(home, ignore_errors=True)
    machine = Machine.clone(bed, template, home / "machine")
    machine.boot()
    try:
        dirs, paths = tree(args.files, args.folders)
        print(f"tree: {len(paths)} files in {len(dirs)} folders "
              f"(+ the installation folder with Kivo.exe, Uninstall.exe, Uninstall.xml)")
        manifest = uninstall_manifest(
            files=[rf"{KIVO}\{p}" for p in ["Kivo.exe", "Uninstall.exe", *paths]],
            dirs=[KIVO] + [rf"{KIVO}\{d}" for d in dirs])
        kivo = install_kivo(machine, files={}, manifest=manifest, uninstaller="Uninstall.exe")
        write_tree(machine, KIVO, dirs, paths)
        # The plain loop runs before and after the uninstall, on copies of the
        # same tree, so that a change in the machine's load shows.
        plain_before = plain_loop(machine, r"C:\bench-plain-1", dirs, paths)
        load_before = os.getloadavg()[0]

        started = time.monotonic()
        uninstall(machine, kivo, timeout=3600)
        wall = time.monotonic() - started
        left = machine.files_under(KIVO)
        if left is not None:
            print(f"warning: {len(left)} entries left in the installation folder")
        ticks = log_ticks(machine)
        removal_ms = ticks["run task name CompleteUninstall start"] - \
            ticks["Uninstall confirmation answered 6"]
        delete_files_ms = ticks["run task name DeleteFiles end"] - \
            ticks["run task name DeleteFiles start"]

        load_after = os.getloadavg()[0]
        plain_after = plain_loop(machine, r"C:\bench-plain-2", dirs, paths)
        plain_ms = (plain_before + plain_after) / 2

        print(f"uninstall, answer Yes to completion box: {removal_ms / 1000:.2f} s "
              f"(DeleteFiles alone {delete_files_ms / 1000:.2f} s; whole run seen from outside "
              f"{wall:.2f} s)")
        print(f"plain DeleteFileW/RemoveDirectoryW loop: {plain_ms / 1000:.2f} s "
              f"(before {plain_before / 1000:.2f} s, after {plain_after / 1000:.2f} s)")
        print(f"ratio uninstall / plain loop: {removal_ms / plain_ms:.2f}")
        print(f"host load average (1 min) before / after the uninstall: "
              f"{load_before:.2f} / {load_after:.2f} on {os.cpu_count()} CPUs")
    finally:
        machine.shutdown()
    shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
