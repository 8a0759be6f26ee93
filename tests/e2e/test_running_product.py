"""The uninstaller does not go on while the maker's Kivo.exe runs: it asks the
user to close it (Retry/Cancel) and, once it is closed, ends the protection
program diverurudav.exe wherever it runs."""

import pytest

from kivo import KIVO_KEY, install_kivo
from machine import IDCANCEL, IDOK, IDRETRY, IDYES, Box

CAPTION = "提示"
QUESTION = "您确定要卸载此产品吗？"
RUNNING_CAPTION = "Kivo正在运行"
RUNNING_TEXT = ("Kivo正在运行，安装无法继续。\r\n"
                "请关闭Kivo并单击「重试」，或者单击「取消」退出安装。")
DONE_CAPTION = "NorvaneKivo卸载"
DONE_TEXT = "NorvaneKivo已成功地从您的计算机移除。"

CONFIRM = Box(CAPTION, IDYES, QUESTION)
DONE = Box(DONE_CAPTION, IDOK, DONE_TEXT)

# No installation key: after the check the graph asks nothing more than the
# completion message, whatever the removal tasks do.
NOTHING_INSTALLED_TAIL = [
    "run task name GetUninstallEnvironment start", "run task name GetUninstallEnvironment end",
    "run task name CompleteUninstall_NotNeedInstall start",
    "run task name CompleteUninstall_NotNeedInstall end",
    "run task name ExitUninstall start", "run task name ExitUninstall end"]
CHECK_LINES = ["run task name StartUninstall start", "run task name StartUninstall end",
               "run task name CheckKivoRunning start", "run task name CheckKivoRunning end"]


def task_lines(machine):
    return [text for _, text in machine.log_messages() if text.startswith("run task name ")]


def errors(machine):
    return [text for severity, text in machine.log_messages() if severity == "ERROR"]


def running_answers(machine):
    return [text for _, text in machine.log_messages() if text.startswith("Kivo is running")]


def start_sleepers(machine, paths):
    """A sleeper under each path, running once this returns."""
    programs = {}
    for path in paths:
        machine.copy_in(machine.bed.tool("sleeper"), path)
        ready = machine.scratch("ready.txt")
        programs[path] = machine.start(path, "--ready", ready)
        machine.wait_for_file(ready)
    return programs


def start_kivo(machine, path, company=None):
    """Starts a Kivo.exe (fake_kivo) at |path|; company: a CompanyName, "--none"
    for no version information, None for the maker's own."""
    if not machine.exists(path):
        machine.copy_in(machine.bed.tool("fake_kivo"), path)
    if company is not None:
        assert machine.run(machine.tool("set_company"), path, company).code == 0
    program = machine.start(path)
    pid = program.pid
    assert pid in [p.pid for p in machine.running("Kivo.exe")]
    return program


def close(machine, program):
    """Ends a program as a user closing it would (it is gone when this returns)."""
    pid = program.pid
    assert machine.run("taskkill", "/f", "/pid", pid).code == 0
    program.wait(30)
    assert pid not in [p.pid for p in machine.processes()]


def assert_running_box(seen, pressed):
    assert (seen["caption"], seen["body"], seen["pressed"]) == \
        (RUNNING_CAPTION, RUNNING_TEXT, pressed)
    assert [b["id"] for b in seen["buttons"]] == [IDRETRY, IDCANCEL]
    assert seen["topmost"]  # system modal


def test_nothing_running_no_box_and_the_protection_program_ends_anywhere(machine):
    kivo = install_kivo(machine, registry=False, uninstaller="Uninstall.exe")
    sleepers = start_sleepers(machine, [
        kivo.path("diverurudav.exe"), r"C:\Tools\diverurudav.exe",
        r"C:\Other\DIVERURUDAV.EXE",
        # Left to the later removal step, which needs an installation.
        kivo.path("NvBugReport.exe"), kivo.path("DiveRurudavUpd.exe")])

    answers = machine.answer(CONFIRM, DONE, wait_exit=True)
    assert machine.start(kivo.uninstaller).wait(30) == 0
    seen = answers.wait()
    machine.wait_until_gone("Uninstall.exe")

    assert [s["caption"] for s in seen] == [CAPTION, DONE_CAPTION]
    assert set(answers.exits().values()) == {0}
    killed = [kivo.path("diverurudav.exe"), r"C:\Tools\diverurudav.exe",
              r"C:\Other\DIVERURUDAV.EXE"]
    for path, program in sleepers.items():
        if path in killed:
            assert program.wait(30) == 0, path
        else:
            assert program.running(), path
    assert task_lines(machine) == CHECK_LINES + NOTHING_INSTALLED_TAIL
    assert errors(machine) == [] and running_answers(machine) == []


def test_retry_asks_again_until_kivo_is_closed_and_other_makers_kivo_is_ignored(machine):
    kivo = install_kivo(machine, registry=False, uninstaller="Uninstall.exe")
    product = start_kivo(machine, kivo.path("Kivo.exe"))
    foreign = start_kivo(machine, r"C:\OtherMaker\Kivo.exe", company="Other Corp")
    protection, = start_sleepers(machine, [r"C:\Tools\diverurudav.exe"]).values()

    first = machine.answer(CONFIRM, Box(RUNNING_CAPTION, IDRETRY, RUNNING_TEXT))
    assert machine.start(kivo.uninstaller).wait(30) == 0
    seen = first.wait()
    # Retry while Kivo still runs: the same box again. Only looked at.
    seen += machine.answer(Box(RUNNING_CAPTION, None, RUNNING_TEXT)).wait()
    assert protection.running()  # not while the box is up
    close(machine, product)
    last = machine.answer(Box(RUNNING_CAPTION, IDRETRY, RUNNING_TEXT), DONE, wait_exit=True)
    seen += last.wait()
    machine.wait_until_gone("Uninstall.exe")

    assert [s["caption"] for s in seen] == \
        [CAPTION, RUNNING_CAPTION, RUNNING_CAPTION, RUNNING_CAPTION, DONE_CAPTION]
    assert_running_box(seen[1], IDRETRY)
    assert_running_box(seen[2], None)
    assert_running_box(seen[3], IDRETRY)
    assert len({s["pid"] for s in seen}) == 1  # all from the working copy
    assert set(last.exits().values()) == {0}
    assert protection.wait(30) == 0
    assert foreign.running()
    # Three passes: each saw the other maker's program once and left it alone.
    assert errors(machine) == ["CompanyName = Other Corp"] * 3
    assert running_answers(machine) == ["Kivo is running: 1 process(es), answered 4"] * 2
    assert task_lines(machine) == CHECK_LINES + NOTHING_INSTALLED_TAIL


@pytest.mark.parametrize("company, error", [
    (None, None),
    ("--none", r"GetVerInfoCompanyName(\Device\HarddiskVolume1\Program Files (x86)\Norvane"
               r"\Kivo\Kivo.exe) failed."),
], ids=["makers-kivo", "kivo-without-version-info"])
def test_cancel_ends_the_run_with_nothing_removed(machine, company, error):
    kivo = install_kivo(machine, uninstaller="Uninstall.exe")
    product = start_kivo(machine, kivo.path("Kivo.exe"), company=company)
    protection, = start_sleepers(machine, [kivo.path("diverurudav.exe")]).values()
    files_before = machine.files_under(kivo.install_dir)
    key_before = machine.reg_values(KIVO_KEY)

    answers = machine.answer(CONFIRM, Box(RUNNING_CAPTION, IDCANCEL, RUNNING_TEXT),
                             wait_exit=True)
    assert machine.start(kivo.uninstaller).wait(30) == 0
    seen = answers.wait()
    machine.wait_until_gone("Uninstall.exe")

    assert_running_box(seen[1], IDCANCEL)
    assert set(answers.exits().values()) == {0}
    assert task_lines(machine) == CHECK_LINES + [
        "run task name ExitUninstall_ResultCancel start",
        "run task name ExitUninstall_ResultCancel end"]
    assert errors(machine) == ([error] if error else [])
    assert running_answers(machine) == ["Kivo is running: 1 process(es), answered 2"]
    assert product.running() and protection.running()
    assert machine.files_under(kivo.install_dir) == files_before
    assert machine.reg_values(KIVO_KEY) == key_before


def test_the_uninstaller_never_counts_itself_whatever_its_name(machine):
    # The working copy itself named Kivo.exe, with the maker's version information.
    exe = machine.copy_in(machine.bed.product_exe, r"C:\Program Files (x86)\Norvane\Kivo\Kivo.exe")

    answers = machine.answer(CONFIRM, DONE, wait_exit=True)
    worker = machine.start(exe, "--temp")
    seen = answers.wait()
    assert worker.wait(30) == 0

    assert [s["caption"] for s in seen] == [CAPTION, DONE_CAPTION]
    assert errors(machine) == [] and running_answers(machine) == []
    assert task_lines(machine) == CHECK_LINES + NOTHING_INSTALLED_TAIL
