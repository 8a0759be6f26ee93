"""The program as a whole: the launcher relaunches a temporary copy, the copy
runs the graph, both log to the uninstall log; the support library's delete
and restart-time delete on a real machine."""

import re

from kivo import install_kivo
from machine import IDNO, Box

CAPTION = "提示"
QUESTION = "您确定要卸载此产品吗？"


def task_lines(machine):
    return [text for _, text in machine.log_messages() if text.startswith("run task name ")]


def started_lines(machine):
    """(pid, command line) of each process's first log line."""
    return [(line.pid, line.text[len("kivo_uninstall: "):]) for line in machine.log_lines()
            if line.text.startswith("kivo_uninstall: ")]


def temp_copies(machine):
    listing = machine.files_under(machine.temp) or []
    return [p for p in listing if re.fullmatch(r"kivo_setup_\d{1,5}\\Uninstall\.exe", p)]


def test_launcher_starts_its_temporary_copy_and_no_ends_both(machine):
    kivo = install_kivo(machine, uninstaller="Uninstall.exe")

    # The launcher exits before its copy asks anything: nobody answers yet.
    launcher = machine.start(kivo.uninstaller)
    assert launcher.wait(30) == 0
    answers = machine.answer(Box(CAPTION, IDNO, QUESTION), wait_exit=True)
    seen = answers.wait()
    machine.wait_until_gone("Uninstall.exe")

    assert [box["body"] for box in seen] == [QUESTION]
    assert list(answers.exits().values()) == [0]
    copies = temp_copies(machine)
    assert len(copies) == 1
    copy = machine.temp + "\\" + copies[0]
    assert machine.read_bytes(copy) == machine.read_bytes(kivo.uninstaller)

    started = started_lines(machine)
    assert [cmd for _, cmd in started] == [f'"{kivo.uninstaller}"', f'"{copy}" --temp']
    assert started[0][0] != started[1][0]
    assert seen[0]["pid"] == started[1][0]
    assert task_lines(machine) == [
        "run task name StartUninstall start", "run task name StartUninstall end",
        "run task name ExitUninstall_ResultCancel start",
        "run task name ExitUninstall_ResultCancel end"]
    # Every line of the log carries process id, thread id, time and tick count.
    raw = machine.read_bytes(machine.log_file).decode("utf-8").splitlines()
    assert raw and all(re.match(r"\[\d+:\d+:\d{4}/\d{6}:\d+:[A-Z_]+:", line) for line in raw)

    # A second run appends to the same log.
    first_log = machine.read_bytes(machine.log_file)
    second = machine.start(kivo.uninstaller)
    assert second.wait(30) == 0
    machine.answer(Box(CAPTION, IDNO, QUESTION), wait_exit=True).wait()
    machine.wait_until_gone("Uninstall.exe")
    log = machine.read_bytes(machine.log_file)
    assert log.startswith(first_log) and len(log) > len(first_log)
    assert len(started_lines(machine)) == 4


def test_a_plain_file_named_logs_is_replaced_by_the_folder(machine):
    kivo = install_kivo(machine, uninstaller="Uninstall.exe")
    logs = machine.appdata + r"\Norvane\Logs"
    machine.write(logs, "a file where the log folder belongs")

    machine.start(kivo.uninstaller).wait(30)
    machine.answer(Box(CAPTION, IDNO, QUESTION), wait_exit=True).wait()
    machine.wait_until_gone("Uninstall.exe")

    assert machine.is_dir(logs)
    assert "run task name StartUninstall start" in task_lines(machine)


def test_a_blocked_temp_folder_falls_back_to_the_windows_temporary_folder(machine):
    kivo = install_kivo(machine, uninstaller="Uninstall.exe")
    # A plain file where the folder "Kivo" must go: "Kivo\STemp" cannot be made.
    machine.write(machine.appdata + r"\Norvane\Kivo", "blocks STemp")

    machine.start(kivo.uninstaller).wait(30)
    machine.answer(Box(CAPTION, IDNO, QUESTION), wait_exit=True).wait()
    machine.wait_until_gone("Uninstall.exe")

    fallback = [p for p in machine.files_under(machine.temp)
                if re.fullmatch(r"kivo_setup_temp\d{1,5}\\", p)]
    # One for the launcher, one for its copy: each process sets up its own.
    assert len(fallback) == 2
    assert not machine.is_dir(machine.appdata + r"\Norvane\Kivo")


def test_a_worker_whose_graph_does_not_load_exits_1_and_logs_why(machine):
    exe = machine.copy_in(machine.bed.build_dir / "Uninstall" / "kivo_uninstall_broken_graph.exe",
                          r"C:\Program Files (x86)\Norvane\Kivo\Uninstall.exe")
    worker = machine.start(exe, "--temp")
    assert worker.wait(30) == 1
    assert ("ERROR", "ErrorID = 16") in machine.log_messages()
    assert task_lines(machine) == []
    assert not machine.running("Uninstall.exe")


def test_scheduled_deletions_are_carried_out_at_the_next_restart(machine):
    folder = r"C:\kivo-fs"
    held = machine.write(folder + r"\held.dll", "in use")
    plain = machine.write(folder + r"\plain.txt", "goes now")
    machine.write(folder + r"\tree\inner.txt", "keeps its folder")
    later_dir = folder + r"\later"
    later_file = machine.write(later_dir + r"\x.txt", "goes at restart")
    # A path of exactly 260 UTF-16 units is refused by both operations.
    long_name = folder + "\\" + "n" * (260 - len(folder) - 1)
    assert len(long_name) == 260
    machine.write(long_name, "too long")

    ready = machine.scratch("ready")
    holder = machine.start(machine.tool("sleeper"), "--hold", held, "--ready", ready)
    machine.wait_for_file(ready)

    ops = [("delete", plain), ("delete", folder + r"\tree"), ("delete", folder + r"\missing.txt"),
           ("delete", held), ("delete", long_name), ("schedule", held),
           ("schedule", later_file), ("schedule", later_dir), ("schedule", long_name)]
    results = run_file_operations(machine, ops)
    assert results == [("delete", plain, True), ("delete", folder + r"\tree", False),
                       ("delete", folder + r"\missing.txt", True), ("delete", held, False),
                       ("delete", long_name, False), ("schedule", held, True),
                       ("schedule", later_file, True), ("schedule", later_dir, True),
                       ("schedule", long_name, False)]
    assert not machine.exists(plain)
    assert machine.exists(folder + r"\tree\inner.txt")
    assert machine.exists(held) and machine.exists(long_name)
    assert machine.pending_renames() == [("\\??\\" + held, ""), ("\\??\\" + later_file, ""),
                                         ("\\??\\" + later_dir, "")]

    machine.restart()

    assert not machine.running("sleeper.exe")  # the restart ended it
    assert not machine.exists(held)
    assert not machine.exists(later_dir)
    assert machine.exists(long_name)
    assert machine.pending_renames() == []


def run_file_operations(machine, ops):
    """Runs base::DeletePath / ScheduleDeleteOnReboot inside the machine."""
    ops_file = machine.write(machine.scratch("ops.txt"),
                             "".join(f"{op}|{path}\n" for op, path in ops))
    results_file = machine.scratch("results.txt")
    test_exe = machine.win_path(machine.bed.build_dir / "tests" / "file_path_util_test.exe")
    run = machine.run(test_exe, "--gtest_also_run_disabled_tests",
                      "--gtest_filter=FileSystemChild.DISABLED_RunOperations",
                      env={"KIVO_FS_OPS_FILE": ops_file, "KIVO_FS_RESULTS_FILE": results_file})
    assert run.code == 0, run.stdout
    rows = machine.read_bytes(results_file).decode("utf-8").splitlines()
    return [(op, path, flag == "1") for op, path, flag in (row.split("|") for row in rows)]
