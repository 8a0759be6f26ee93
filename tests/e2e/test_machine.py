"""The test bed itself: a cloned machine behaves like a Windows machine of its
own, and the fake programs do what the product's tests rely on."""

import json

import pytest

from kivo import DEFAULT_INSTALL_DIR, KIVO_KEY, install_kivo
from machine import IDNO, IDRETRY, IDYES, BedError, Box, RegValue, parse_log

MB_YESNO_INFO = 0x44
MB_RETRYCANCEL_SYSTEMMODAL = 0x1035
CAPTION = "提示"
QUESTION = "您确定要卸载此产品吗？"


def test_clone_is_a_machine_of_its_own(machine, template):
    machine.reg_set(r"HKCU\Software\KivoBed", "probe", "written in the clone")
    machine.write(r"C:\windows\system32\kivo_probe.txt", "clone only")

    assert machine.reg_value(r"HKCU\Software\KivoBed", "probe") == \
        RegValue("REG_SZ", "written in the clone")
    machine.shutdown()  # the server saves the clone's registry files
    assert "KivoBed" in (machine.path / "user.reg").read_text()
    assert "KivoBed" not in (template.path / "user.reg").read_text()
    assert not (template.path / "drive_c/windows/system32/kivo_probe.txt").exists()


def test_user_folders_are_real_folders_of_the_clone(machine):
    appdata = machine.appdata
    assert appdata.startswith("C:\\users\\") and appdata.endswith("\\AppData\\Roaming")
    host = machine.host_path(appdata)
    assert host.is_dir() and machine.drive_c in host.parents
    for folder in ("Desktop", "Documents"):
        path = machine.host_path(machine.folders["USERPROFILE"] + "\\" + folder)
        assert path.is_dir() and not path.is_symlink()


def test_installed_kivo_is_seen_by_windows_programs(machine):
    kivo = install_kivo(machine, rversion="9.1.0.200",
                        shortcuts={machine.folders["USERPROFILE"] + r"\Desktop\Kivo.lnk": None},
                        service="KRemotingSvc")

    query = machine.run("reg", "query", KIVO_KEY, "/v", "Install", "/reg:32")
    assert query.code == 0 and DEFAULT_INSTALL_DIR in query.stdout
    assert machine.run("reg", "query", KIVO_KEY, "/reg:64").code == 1  # 32-bit view only
    assert machine.reg_values(KIVO_KEY) == {
        "Install": RegValue("REG_SZ", DEFAULT_INSTALL_DIR),
        "version": RegValue("REG_SZ", "9.1.0.100"),
        "rversion": RegValue("REG_SZ", "9.1.0.200"),
    }
    exist = machine.run("cmd", "/c", "if", "exist", kivo.path("Uninstall.xml"), "echo", "present")
    assert "present" in exist.stdout
    assert machine.run(machine.tool("ver_info"), kivo.path("Kivo.exe"), "CompanyName").stdout \
        == "Norvane\n"
    link = next(iter(kivo.shortcuts))
    assert machine.run(machine.tool("make_link"), "--read", link).stdout == \
        kivo.path("Kivo.exe") + "\n"
    assert machine.run("sc", "query", "KRemotingSvc").code == 0
    assert machine.run("sc", "query", "NoSuchSvc").code != 0


@pytest.mark.parametrize("kind, stored", [
    ("REG_SZ", r"C:\Program Files (x86)\Norvane\Kivo\\"),
    ("REG_EXPAND_SZ", r"%KIVO_ROOT%\Kivo"),
], ids=["trailing-backslash", "expand-sz"])
def test_install_value_is_stored_exactly(machine, kind, stored):
    install_kivo(machine, install_value=stored, value_type=kind, version=None)
    assert machine.reg_values(KIVO_KEY) == {"Install": RegValue(kind, stored)}


@pytest.mark.parametrize("company, expected", [
    (None, "Norvane\n"), ("Other Corp", "Other Corp\n"), ("--none", None)])
def test_fake_kivo_carries_the_company_a_test_chooses(machine, kivo, company, expected):
    exe = kivo.path("Kivo.exe")
    if company:
        assert machine.run(machine.tool("set_company"), exe, company).code == 0
    result = machine.run(machine.tool("ver_info"), exe, "CompanyName")
    assert (result.stdout if result.code == 0 else None) == expected
    running = machine.start(exe, "--seconds", "1")
    pid = running.pid
    assert [p.pid for p in machine.running("Kivo.exe")] == [pid]
    assert running.wait() == 0


def test_answerer_answers_a_real_message_box(machine):
    result_file = machine.scratch("pressed.txt")
    answers = machine.answer(Box(CAPTION, press=IDYES, body=QUESTION), wait_exit=True)
    box = machine.start(machine.tool("show_box"), "--caption", CAPTION, "--body", QUESTION,
                        "--type", MB_YESNO_INFO, "--result", result_file)

    seen = answers.wait()
    assert box.wait() == IDYES
    assert machine.read_bytes(result_file) == b"6"
    assert seen == [{"caption": CAPTION, "body": QUESTION,
                     "buttons": [{"id": 6, "text": "&Yes"}, {"id": 7, "text": "&No"}],
                     "topmost": False, "pid": box.pid, "pressed": IDYES}]
    assert answers.exits() == {box.pid: IDYES}  # how a test sees a worker's exit code


def test_answerer_takes_boxes_in_order_and_reports_a_wrong_body(machine):
    body = ("Kivo正在运行，安装无法继续。\r\n"
            "请关闭Kivo并单击「重试」，或者单击「取消」退出安装。")
    answers = machine.answer(Box("Kivo正在运行", press=IDRETRY, body=body),
                             Box(CAPTION, press=IDNO))
    first = machine.start(machine.tool("show_box"), "--escapes", "--caption", "Kivo正在运行",
                          "--body", body.replace("\r\n", "\\r\\n"),
                          "--type", MB_RETRYCANCEL_SYSTEMMODAL)
    assert first.wait() == IDRETRY
    second = machine.start(machine.tool("show_box"), "--caption", CAPTION, "--body", "x")
    assert second.wait() == IDNO
    seen = answers.wait()
    assert [(s["caption"], s["pressed"], s["topmost"]) for s in seen] == \
        [("Kivo正在运行", IDRETRY, True), (CAPTION, IDNO, False)]
    assert seen[0]["body"] == body

    wrong = machine.answer(Box(CAPTION, press=IDYES, body=QUESTION), timeout=5)
    left_open = machine.start(machine.tool("show_box"), "--caption", CAPTION, "--body", "other")
    with pytest.raises(BedError, match="body differs"):
        wrong.wait()
    assert left_open.running()  # nothing was pressed


@pytest.mark.parametrize("how, error", [("--hold", "error 32"), ("--load", "error 5")])
def test_helper_program_keeps_a_file_in_use_until_restart(machine, how, error):
    kivo = install_kivo(machine, programs={"NvBugReport.exe": "sleeper",
                                           "KivoCore.dll": "pin_list.dll"})
    in_use = kivo.path("KivoCore.dll")
    ready = machine.scratch("ready.txt")
    machine.start(kivo.path("NvBugReport.exe"), how, in_use, "--ready", ready)
    machine.wait_for_file(ready)

    assert machine.run(machine.tool("file_op"), "delete", in_use).stdout == error + "\n"
    assert [p.path for p in machine.running("NvBugReport.exe")] == [kivo.path("NvBugReport.exe")]
    machine.restart()
    assert machine.running("NvBugReport.exe") == []
    assert machine.run(machine.tool("file_op"), "delete", in_use).stdout == "ok\n"
    assert not machine.exists(in_use)


def test_restart_carries_out_pending_operations_in_order(machine):
    folder = r"C:\Program Files (x86)\Norvane\Kivo"
    machine.write(folder + r"\bin\old.dll", "old")
    machine.write(folder + r"\moved.txt", "moved content")
    machine.write(folder + r"\target.txt", "replaced")
    file_op = machine.tool("file_op")
    for args in ([folder + r"\bin\old.dll"], [folder + r"\bin"],
                 [folder + r"\moved.txt", folder + r"\target.txt", "--replace"]):
        assert machine.run(file_op, "delay-move", *args).code == 0

    assert machine.pending_renames() == [
        ("\\??\\" + folder + r"\bin\old.dll", ""),
        ("\\??\\" + folder + r"\bin", ""),
        ("\\??\\" + folder + r"\moved.txt", "!\\??\\" + folder + r"\target.txt"),
    ]
    machine.restart()
    assert machine.pending_renames() == []
    assert machine.files_under(folder) == ["target.txt"]
    assert machine.read_bytes(folder + r"\target.txt") == b"moved content"


def test_recorder_keeps_its_command_line_and_full_exit_code(machine):
    kivo = install_kivo(machine, programs={r"versions\1.0\kremoting_installer.exe": "recorder"})
    installer = kivo.path(r"versions\1.0\kremoting_installer.exe")
    records = machine.mkdir(r"C:\records")
    machine.write(records + r"\kremoting_installer.exe.control", "exit=0x1234\ndelay_ms=200\n")
    cmdline = f'"{installer}" --mode=uninstall --kivo-install-root="{kivo.install_dir}" 中文'

    run = machine.start_cmdline(cmdline, env={"KIVO_RECORDER_DIR": records})
    assert run.wait() == 0x1234  # wine itself would report 0x34
    record, = [json.loads(line) for line in machine.read_bytes(
        records + r"\kremoting_installer.exe.cmdline.txt").decode("utf-8").splitlines()]
    assert record["cmdline"] == cmdline
    assert record["pid"] == run.pid and record["cwd"] == "C:\\"


def test_pin_list_stand_in_records_unpins(machine):
    kivo = install_kivo(machine, pins=[("TaskBar", "Kivo.lnk", None)], pin_list=True)
    pin, = kivo.pins
    assert machine.run(machine.tool("make_link"), "--unpin", pin).code == 0
    assert kivo.unpinned() == [pin]


def test_log_lines_lose_their_prefix(machine):
    gbk_error = "创建windows的临时目录失败".encode("gbk")
    machine.write(machine.log_file,
                  b"[12:34:0307/091505:4321:INFO:run.cc(31)] first\n"
                  b"[12:35:0307/091506:4322:ERROR:setup_util.cc(7)] " + gbk_error + b"\n"
                  b"[12:34:0307/091507:4323:WARNING:a.cc(9)] two\nlines\n")
    assert machine.log_messages() == [
        ("INFO", "first"),
        ("ERROR", "创建windows的临时目录失败"),
        ("WARNING", "two\nlines"),
    ]
    line = machine.log_lines()[1]
    assert (line.pid, line.tid, line.source, line.line) == (12, 35, "setup_util.cc", 7)
    assert parse_log(b"") == []
