"""The three tasks that the embedded graph leaves out, run by test builds of
the uninstaller whose graphs name them: the sibling products' uninstallers
(UninstallPellux, then UninstallVevuRe) and the result report
(GetUninstallEnvironment, then UninstallUploadResult)."""

import json
import socket
import struct
import threading
import time

import pytest

from kivo import install_kivo
from machine import BedError, reg_line

SIBLINGS_EXE = "kivo_uninstall_siblings.exe"
REPORT_EXE = "kivo_uninstall_report.exe"

APP_PATHS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Pellux.exe"
PELLUX_DIR = r"C:\Program Files (x86)\Pellux"
PROG_ID = "KivoVevuRE.Downloader.1"
VEVURE_CLSID = "{3F6A2C18-9B4E-4D07-A1C5-7E2B8D9F0A63}"
VEVURE_DIR = r"C:\Program Files (x86)\Norvane\VevuRE"

TASK_SOURCES = ("uninstall_pellux.cc", "uninstall_vevure.cc", "uninstall_upload_result.cc")


def built_exe(machine, exe):
    path = machine.bed.build_dir / "Uninstall" / exe
    if not path.is_file():
        raise BedError(f"test build {path} is missing: build the target kivo_all_tests")
    return path


def run_test_build(machine, exe, env=None, timeout=60):
    """Starts a test build as a user starts the uninstaller (it relaunches
    itself from the temporary folder) and waits until both copies ended."""
    program = machine.start(machine.win_path(built_exe(machine, exe)), env=env)
    code = program.wait(timeout)
    machine.wait_until_gone(exe, timeout)
    return code


def task_log(machine):
    """What the three tasks logged, as (severity, text)."""
    return [(line.severity, line.text) for line in machine.log_lines()
            if line.source in TASK_SOURCES]


def engine_lines(machine):
    return [line.text for line in machine.log_lines() if line.text.startswith("run task name ")]


def records(machine, program):
    """Command lines the recorder at |program| was started with."""
    log = program + ".cmdline.txt"
    if not machine.exists(log):
        return []
    return [json.loads(line)["cmdline"]
            for line in machine.read_bytes(log).decode("utf-8").splitlines() if line]


# --- sibling products -----------------------------------------------------

def vevure_path(length):
    """A path of |length| characters that ends in \\vevure.exe."""
    stem = VEVURE_DIR + "\\"
    padding = length - len(stem) - len("\\vevure.exe")
    return stem + "p" * padding + "\\vevure.exe"


def register_vevure(machine, server_value):
    machine.reg_import(
        f"[HKEY_LOCAL_MACHINE\\Software\\Classes\\{PROG_ID}\\CLSID]\n"
        + reg_line("", "REG_SZ", VEVURE_CLSID) + "\n\n"
        f"[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{VEVURE_CLSID}\\LocalServer32]\n"
        + reg_line("", "REG_SZ", server_value) + "\n")


VEVURE_MISSING = ("WARNING", "vevure.exe not exist.")
PELLUX_MISSING = ("WARNING", "uninst.exe not exist.")

# Each run has one Pellux and one VevuRe situation:
#   pellux: "installed", "expand-sz" (PelluxPath as REG_EXPAND_SZ),
#           "no-uninstaller" (key and folder, no uninst.exe), None (no key);
#   vevure: (LocalServer32 value with {exe} for the recorder's path, the
#           recorder's path length) or None (nothing registered).
SIBLING_CASES = [
    pytest.param("installed", ('"{exe}"', 60), True, True, [],
                 id="both-installed-quoted-server-path"),
    # 127 characters and two quotes: 129, the longest value that is read.
    pytest.param("expand-sz", ('"{exe}"', 127), True, True, [],
                 id="expanded-pellux-path-longest-server-value"),
    pytest.param("no-uninstaller", ('"{exe}" /Embedding', 60), False, False,
                 [PELLUX_MISSING, VEVURE_MISSING],
                 id="no-uninst-exe-server-value-with-arguments"),
    # 130 characters: treated as absent although the program is there.
    pytest.param(None, ('"{exe}"', 128), False, False, [VEVURE_MISSING],
                 id="no-pellux-server-value-too-long"),
    pytest.param(None, None, False, False, [VEVURE_MISSING], id="neither-registered"),
]


@pytest.mark.parametrize("pellux, vevure, pellux_runs, vevure_runs, warnings", SIBLING_CASES)
def test_sibling_uninstallers_start_without_waiting(machine, pellux, vevure, pellux_runs,
                                                     vevure_runs, warnings):
    uninst = PELLUX_DIR + r"\uninst.exe"
    if pellux in ("installed", "expand-sz"):
        machine.copy_in(machine.bed.tool("recorder"), uninst)
    if pellux == "no-uninstaller":
        machine.mkdir(PELLUX_DIR)
    if pellux == "expand-sz":
        machine.reg_set(APP_PATHS, "PelluxPath", r"%ProgramFiles%\Pellux", "REG_EXPAND_SZ")
    elif pellux:
        machine.reg_set(APP_PATHS, "PelluxPath", PELLUX_DIR)

    vevure_exe = vevure_path(vevure[1] if vevure else 60)
    if vevure:
        machine.copy_in(machine.bed.tool("recorder"), vevure_exe)
        value = vevure[0].format(exe=vevure_exe)
        register_vevure(machine, value)

    assert run_test_build(machine, SIBLINGS_EXE) == 0
    # Started, not waited for: they may outlive the uninstaller.
    machine.wait_until_gone("uninst.exe")
    machine.wait_until_gone("vevure.exe")

    assert records(machine, uninst) == ([f'"{uninst}" /S'] if pellux_runs else [])
    assert records(machine, vevure_exe) == \
        ([f'"{vevure_exe}" /PrepareUninstall'] if vevure_runs else [])
    assert task_log(machine) == warnings
    assert engine_lines(machine) == [
        "run task name UninstallPellux start", "run task name UninstallPellux end",
        "run task name UninstallVevuRe start", "run task name UninstallVevuRe end",
        "run task name ExitUninstall start", "run task name ExitUninstall end"]


# --- the result report ----------------------------------------------------

class ReportServer:
    """A report server on 127.0.0.1 only: records each request and answers
    every one with |reply|. Stops when the test leaves it, or by itself after
    |lifetime| seconds."""

    def __init__(self, reply, lifetime=120):
        self.reply = reply
        self.requests = []
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(8)
        self._listener.settimeout(0.1)
        self.port = self._listener.getsockname()[1]
        self._deadline = time.monotonic() + lifetime
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()
        self._listener.close()

    def _serve(self):
        while not self._stop.is_set() and time.monotonic() < self._deadline:
            try:
                connection, _ = self._listener.accept()
            except socket.timeout:
                continue
            with connection:
                connection.settimeout(10)
                data = b""
                try:
                    while b"\r\n\r\n" not in data:
                        chunk = connection.recv(4096)
                        if not chunk:
                            break
                        data += chunk
                    self.requests.append(data)
                    connection.sendall(self.reply)
                except OSError as error:
                    self.requests.append(error)


def installer_field(machine):
    """msi.dll's fixed file version up to its third number, read from the
    file itself (the version resource's VS_FIXEDFILEINFO)."""
    data = machine.host_path(r"C:\windows\syswow64\msi.dll").read_bytes()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    assert at >= 0, "msi.dll has no fixed file version"
    most, least = struct.unpack_from("<II", data, at + 8)
    return f"{most >> 16}.{most & 0xFFFF}.{least >> 16}"


def expected_request(comm):
    return ("GET  Upload_Data\r\nVERSION: 1 \r\nMODULE_ID: 607 \r\n"
            f"COMM:{comm}\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows Xp)\r\n"
            "Host: 127.0.0.1:443\r\nCache-Control: no-cache\r\n\r\n").encode("ascii")


@pytest.mark.parametrize("windows, field, reply, attempts", [
    (None, "601", b"RESULT:1", 1),
    # The manifest declares nothing after Windows 7, so Windows reports 6.2.
    ("win10", "602", b"RESULT:0", 3),
], ids=["default-windows-7-accepted", "windows-10-refused"])
def test_report_carries_the_versions_the_machine_gives(machine, windows, field, reply, attempts):
    if windows:
        assert machine.run("winecfg", "/v", windows).code == 0
    install_kivo(machine, version="9.1.0.100", rversion="9.9.9")

    with ReportServer(reply) as server:
        env = {"KIVO_TEST_REPORT_SERVER": f"kivo-report-test.invalid,127.0.0.1,{server.port}"}
        assert run_test_build(machine, REPORT_EXE, env=env) == 0

    comm = f"9.9.9,{field},{installer_field(machine)},0,6,1,2"
    assert server.requests == [expected_request(comm)] * attempts
    assert task_log(machine) == []
    assert "run task name UninstallUploadResult end" in engine_lines(machine)
