"""Demo: a fresh Wine prefix with a sample Kivo installation, the uninstaller
run from its launcher the way a user would (the answers given by the dialog
answerer), then what was on the machine before and after, and the log.

    KIVO_BUILD_DIR=build /usr/bin/python3 tests/e2e/demo.py
"""

import shutil
import sys

from kivo import KIVO_KEY, install_kivo, uninstall_manifest
from machine import IDOK, IDYES, Bed, BedError, Box, Machine, Template

CAPTION = "提示"
QUESTION = "您确定要卸载此产品吗？"
DONE_CAPTION = "NorvaneKivo卸载"
DONE_TEXT = "NorvaneKivo已成功地从您的计算机移除。"


def snapshot(machine, kivo):
    state = {}
    for path in machine.files_under(kivo.install_dir) or []:
        state["file  " + kivo.path(path)] = True
    for link in list(kivo.shortcuts) + kivo.pins:
        state["link  " + link] = machine.exists(link)
    for name, value in (machine.reg_values(KIVO_KEY) or {}).items():
        state[f"value {KIVO_KEY}\\{name} = {value.data}"] = True
    return {k for k, present in state.items() if present}


def main():
    bed = Bed.from_environment()
    template = Template(bed).ensure()
    home = bed.work_dir / "demo"
    Machine.stop_servers_under(home)
    shutil.rmtree(home, ignore_errors=True)
    machine = Machine.clone(bed, template, home / "machine")
    machine.boot()
    try:
        install_dir = r"C:\Program Files (x86)\Norvane\Kivo"
        files = {r"resources\strings.dat": "strings\n", r"resources\skin\main.skin": "skin\n",
                 r"plugins\chat\chat.dat": "chat\n", "readme.txt": "Kivo\n"}
        programs = {"Kivo.exe": "fake_kivo"}
        relative = [*programs, *files, "Uninstall.exe"]
        folders = sorted({"\\".join(p.split("\\")[:n]) for p in relative
                          for n in range(1, p.count("\\") + 1)})
        manifest = uninstall_manifest(
            files=[install_dir + "\\" + p for p in relative],
            dirs=[install_dir] + [install_dir + "\\" + f for f in folders],
            keys=[("HKLM", KIVO_KEY[5:], ["Install", "version", "rversion"])])
        kivo = install_kivo(
            machine, install_dir=install_dir, programs=programs, files=files, manifest=manifest,
            uninstaller="Uninstall.exe", rversion="9.1.0.200",
            shortcuts={machine.folders["PUBLIC"] + r"\Desktop\Kivo.lnk": None},
            pins=[("TaskBar", "Kivo.lnk", None)], pin_list=True)
        before = snapshot(machine, kivo)
        print("== Before: the sample installation ==")
        for item in sorted(before):
            print("  " + item)

        print("\n== The user starts", kivo.uninstaller, "==")
        answers = machine.answer(Box(CAPTION, IDYES, QUESTION), Box(DONE_CAPTION, IDOK, DONE_TEXT),
                                 timeout=60, wait_exit=True)
        launcher = machine.start(kivo.uninstaller)
        print("  launcher exit code:", launcher.wait(60))
        try:
            seen = answers.wait()
            for box in seen:
                print(f"  box \"{box['caption']}\": \"{box['body']}\" -> pressed {box['pressed']}")
            machine.wait_until_gone("Uninstall.exe", 120)
            print("  worker exit codes:", list(answers.exits().values()))
        except BedError as error:
            print("  the run did not reach the completion message:", str(error)[:300])
            print("  (the removal tasks of the graph may not be built yet)")

        print("  unpinned:", kivo.unpinned())
        after = snapshot(machine, kivo)
        print("\n== After ==")
        print("  removed:")
        for item in sorted(before - after):
            print("    " + item)
        print("  still there:")
        for item in sorted(after):
            print("    " + item)
        print("\n== The log:", machine.log_file, "==")
        print(machine.read_bytes(machine.log_file).decode("utf-8", "replace"), end="")
    finally:
        machine.shutdown()
    print(f"\n(The demo machine stays in {machine.path} until the next demo.)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
