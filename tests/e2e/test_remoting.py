"""The remote-assistance component: when its service "KRemotingSvc" exists,
the uninstaller runs the component's own installer in its machine-uninstall
mode before anything is removed. The installer is found through
versions\\config.json inside the installation. Whatever happens, the
uninstall goes on.

The installer is the recorder test program copied into place: it records its
command line and exits with the code of its control file."""

import json
import time

import pytest

from kivo import DEFAULT_INSTALL_DIR, install_kivo
from machine import IDYES, BedError, Box

CAPTION = "提示"
QUESTION = "您确定要卸载此产品吗？"
SOURCE = "remoting_machine_uninstall.cc"
SERVICE = "KRemotingSvc"
RECORDS = r"C:\kivo-records"
INSTALLER = "kremoting_installer.exe"

VERSIONS = DEFAULT_INSTALL_DIR + r"\versions"
CONFIG = VERSIONS + r"\config.json"
UNAVAILABLE = ("ERROR", "RemotingMachineUninstall: installer unavailable; continue Kivo uninstall")
CLEANUP_FAILED = ("ERROR",
                  "RemotingMachineUninstall: machine cleanup failed; continue Kivo uninstall")
TASK_END = "run task name RemotingMachineUninstall end"
NEXT_TASK = "run task name TaskbarUnpinShortLink start"


def installer_path(version, root=DEFAULT_INSTALL_DIR):
    return rf"{root}\versions\{version}\resources\app\{INSTALLER}"


def begin_line(presence, root=DEFAULT_INSTALL_DIR):
    return ("INFO", f"RemotingMachineUninstall: begin, root={root}, service_presence={presence}")


def installed_with_component(machine, config, versions=("9.1.0",), service=True, **install):
    """Kivo with the component: config.json (str or bytes; None: none) and a
    recorder as the installer of each version folder in |versions|."""
    programs = {"Kivo.exe": "fake_kivo"}
    for version in versions:
        relative = installer_path(version, root="")[1:]
        programs[relative] = "recorder"
    kivo = install_kivo(machine, programs=programs, service=SERVICE if service else None,
                        **install)
    if config is not None:
        machine.write(CONFIG, config)
    machine.mkdir(RECORDS)
    return kivo


def set_installer_exit(machine, code, delay_ms=0):
    machine.write(rf"{RECORDS}\{INSTALLER}.control", f"exit={code}\ndelay_ms={delay_ms}\n")


def installer_runs(machine):
    """Each start of an installer copy: {"cmdline", "pid", "cwd"}."""
    log = rf"{RECORDS}\{INSTALLER}.cmdline.txt"
    if not machine.exists(log):
        return []
    return [json.loads(line) for line in machine.read_bytes(log).decode("utf-8").splitlines()]


def uninstall_past_remoting(machine, timeout=90):
    """The user says Yes; waits until the task after the remote-assistance
    step has started. What the removal does after it is other tests' business."""
    answers = machine.answer(Box(CAPTION, press=IDYES, body=QUESTION), timeout=timeout)
    machine.start(machine.win_path(machine.bed.product_exe), env={"KIVO_RECORDER_DIR": RECORDS})
    deadline = time.monotonic() + timeout
    while NEXT_TASK not in [line.text for line in machine.log_lines()]:
        if time.monotonic() > deadline:
            raise BedError(f"the uninstall did not get past the remote-assistance step within "
                           f"{timeout} s; log:\n"
                           + "\n".join(f"{s} {t}" for s, t in machine.log_messages()))
        time.sleep(0.2)
    answers.wait()
    lines = machine.log_lines()
    texts = [line.text for line in lines]
    # Nothing else runs in between: the step's end is followed by the next task.
    assert texts.index(TASK_END) + 1 == texts.index(NEXT_TASK)
    return lines


def remoting_lines(lines):
    return [(line.severity, line.text) for line in lines if line.source == SOURCE]


def worker_pid(lines):
    """The process id of the copy of the uninstaller that ran the graph."""
    pids = {line.pid for line in lines if line.source == SOURCE}
    assert len(pids) == 1, pids
    return pids.pop()


def test_without_the_service_nothing_is_looked_at(machine):
    installed_with_component(machine, '{"curVersion":"9.1.0"}', service=False)
    set_installer_exit(machine, 0)

    lines = uninstall_past_remoting(machine)

    assert remoting_lines(lines) == [
        begin_line(1), ("INFO", "RemotingMachineUninstall: service absent; no cleanup required")]
    assert installer_runs(machine) == []


def test_without_config_json_the_installer_is_unavailable(machine):
    installed_with_component(machine, None)

    lines = uninstall_past_remoting(machine)

    assert remoting_lines(lines) == [
        begin_line(0),
        ("ERROR", f"RemotingMachineUninstall: read versions config failed, path={CONFIG}, "
                  "error=2"),
        UNAVAILABLE]
    assert installer_runs(machine) == []


BOM = b"\xef\xbb\xbf"

# Each invalid version that names a path has an installer there, so only the
# version rules keep it from being started.
INVALID_CONFIGS = [
    ("empty", '{"curVersion":""}', ()),
    ("dot", '{"curVersion":"."}', (".",)),
    ("dot-dot", '{"curVersion":".."}', ("..",)),
    ("slash", '{"curVersion":"1.0/2"}', (r"1.0\2",)),
    ("colon", '{"curVersion":"C:x"}', ()),
    ("number", '{"curVersion":9.1}', ("9.1",)),
    ("utf16-bom", '{"curVersion":"9.1.0"}'.encode("utf-16"), ("9.1.0",)),
    ("trailing-junk", '{"curVersion":"9.1.0"},', ("9.1.0",)),
]


@pytest.mark.parametrize("config, versions", [c[1:] for c in INVALID_CONFIGS],
                         ids=[c[0] for c in INVALID_CONFIGS])
def test_an_invalid_current_version_starts_nothing(machine, config, versions):
    installed_with_component(machine, config, versions=versions)
    set_installer_exit(machine, 0)

    lines = uninstall_past_remoting(machine)

    assert remoting_lines(lines) == [
        begin_line(0), ("ERROR", f"RemotingMachineUninstall: invalid curVersion, path={CONFIG}"),
        UNAVAILABLE]
    assert installer_runs(machine) == []


def test_a_missing_installer_is_reported_with_its_path(machine):
    installed_with_component(machine, '{"curVersion":"9.2.0"}', versions=("9.1.0",))

    lines = uninstall_past_remoting(machine)

    assert remoting_lines(lines) == [
        begin_line(0),
        ("ERROR", "RemotingMachineUninstall: current HostInstaller missing, version=9.2.0, "
                  f"path={installer_path('9.2.0')}, error=3"),
        UNAVAILABLE]
    assert installer_runs(machine) == []


def expected_cmdline(installer, root, pid):
    return (f'"{installer}" --mode=uninstall --machine-uninstall --requestor-pid={pid} '
            f'--kivo-install-root="{root}"')


# (id, config.json, installer exit code, the lines after the launch line)
INSTALLER_RUNS = [
    ("exit-0", '{"curVersion":"9.1.0"}', 0,
     [("INFO", "RemotingMachineUninstall: HostInstaller completed successfully")]),
    # A UTF-8 byte-order mark is allowed before the text.
    ("exit-0-utf8-bom", BOM + b'{\r\n  "curVersion": "9.1.0",\r\n  "channel": "stable"\r\n}\r\n',
     0, [("INFO", "RemotingMachineUninstall: HostInstaller completed successfully")]),
    ("exit-3", '{"curVersion":"9.1.0"}', 3,
     [("ERROR", "RemotingMachineUninstall: HostInstaller failed, wait=0, wait_error=0, "
                "exit=3, exit_error=0"), CLEANUP_FAILED]),
]


@pytest.mark.parametrize("config, code, outcome", [c[1:] for c in INSTALLER_RUNS],
                         ids=[c[0] for c in INSTALLER_RUNS])
def test_the_installer_runs_its_machine_uninstall(machine, config, code, outcome):
    installed_with_component(machine, config)
    set_installer_exit(machine, code)

    lines = uninstall_past_remoting(machine)

    pid = worker_pid(lines)
    installer = installer_path("9.1.0")
    assert remoting_lines(lines) == [
        begin_line(0),
        ("INFO", "RemotingMachineUninstall: current HostInstaller resolved, "
                 f"version=9.1.0, path={installer}"),
        ("INFO", f"RemotingMachineUninstall: launch HostInstaller, executable={installer}, "
                 f"root={DEFAULT_INSTALL_DIR}, requestor_pid={pid}"),
    ] + outcome
    run, = installer_runs(machine)
    assert run["cmdline"] == expected_cmdline(installer, DEFAULT_INSTALL_DIR, pid)


def test_the_installer_gets_the_root_normalised_and_the_log_the_root_as_read(machine):
    stored = DEFAULT_INSTALL_DIR.replace("\\", "/") + "/\\"
    installed_with_component(machine, '{"curVersion":"9.1.0"}', install_value=stored)
    set_installer_exit(machine, 0)

    lines = uninstall_past_remoting(machine)

    pid = worker_pid(lines)
    # The installer's path is joined onto the root as read (trailing
    # separators dropped).
    installer = DEFAULT_INSTALL_DIR.replace("\\", "/") + r"\versions\9.1.0\resources\app" \
        + "\\" + INSTALLER
    messages = remoting_lines(lines)
    assert messages[0] == begin_line(0, root=stored)
    assert ("INFO", f"RemotingMachineUninstall: launch HostInstaller, executable={installer}, "
                    f"root={stored}, requestor_pid={pid}") in messages
    run, = installer_runs(machine)
    assert run["cmdline"] == expected_cmdline(installer, DEFAULT_INSTALL_DIR, pid)


@pytest.mark.slow
def test_an_installer_still_running_after_two_minutes_is_left_running(machine):
    installed_with_component(machine, '{"curVersion":"9.1.0"}')
    set_installer_exit(machine, 0, delay_ms=170000)

    started = time.monotonic()
    lines = uninstall_past_remoting(machine, timeout=240)
    waited = time.monotonic() - started

    messages = remoting_lines(lines)
    assert messages[-2:] == [
        ("ERROR", "RemotingMachineUninstall: HostInstaller failed, wait=258, wait_error=0, "
                  "exit=31, exit_error=0"), CLEANUP_FAILED]
    assert waited >= 120
    run, = installer_runs(machine)
    # Not ended by the uninstaller: it goes on while the removal continues.
    assert [p.pid for p in machine.running(INSTALLER)] == [run["pid"]]
