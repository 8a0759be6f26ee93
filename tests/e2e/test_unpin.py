"""The user has pinned Kivo to the taskbar and the Start menu; after the
uninstall confirmation the product's pins are gone and every other pin stays.

Wine has no Start-menu pin list; the bed registers a stand-in that records
each RemoveFromList item (tests/tools/pin_list)."""

import time

from kivo import DEFAULT_INSTALL_DIR, install_kivo
from machine import IDYES, BedError, Box

CAPTION = "提示"
QUESTION = "您确定要卸载此产品吗？"
UNPIN_END = "run task name TaskbarUnpinShortLink end"

PINS = [
    ("TaskBar", "Kivo.lnk", None),  # Kivo.exe
    ("TaskBar", "Kivo folder.lnk", DEFAULT_INSTALL_DIR),  # the folder itself is not inside
    ("TaskBar", r"Old pins\Kivo.lnk", None),  # below a pin folder: not a pin
    ("StartMenu", "Kivo strings.lnk", DEFAULT_INSTALL_DIR + r"\resources\strings.dat"),
    # Another product of the maker, in a folder whose name begins like Kivo's.
    ("StartMenu", "Kivo old.lnk", DEFAULT_INSTALL_DIR + r"Old\Kivo.exe"),
]


def uninstall_until_unpinned(machine, kivo, timeout=90):
    """Starts the uninstaller as the user does, says Yes, and waits until the
    unpinning task has ended. What follows it is other tests' business."""
    answers = machine.answer(Box(CAPTION, press=IDYES, body=QUESTION), timeout=timeout)
    machine.start(machine.win_path(machine.bed.product_exe))
    deadline = time.monotonic() + timeout
    while UNPIN_END not in [line.text for line in machine.log_lines()]:
        if time.monotonic() > deadline:
            raise BedError(f"the unpinning task did not end within {timeout} s; log:\n"
                           + "\n".join(f"{s} {t}" for s, t in machine.log_messages()))
        time.sleep(0.2)
    answers.wait()
    return machine.log_lines()


def task_lines(lines, name):
    return [line for line in lines if line.text.startswith(f"run task name {name} ")]


def test_only_the_pins_into_the_installation_are_removed(machine):
    kivo = install_kivo(machine, pins=PINS, pin_list=True)
    lines = uninstall_until_unpinned(machine, kivo)

    taskbar_kivo, _, _, start_menu_strings, _ = kivo.pins
    assert kivo.unpinned() == [taskbar_kivo, start_menu_strings]
    assert all(machine.exists(pin) for pin in kivo.pins)  # the shell removes the files

    # Right after the remote-assistance uninstall; the task itself writes nothing.
    remoting = task_lines(lines, "RemotingMachineUninstall")
    unpin = task_lines(lines, "TaskbarUnpinShortLink")
    assert [line.text.rsplit(" ", 1)[1] for line in remoting + unpin] == \
        ["start", "end", "start", "end"]
    start, end = (lines.index(line) for line in unpin)
    assert lines.index(remoting[-1]) + 1 == start and start + 1 == end


def test_nothing_is_unpinned_on_windows_xp(machine):
    kivo = install_kivo(machine, pins=PINS, pin_list=True)
    # What Wine's version setting for the whole prefix does: GetVersionEx says 5.1.
    machine.reg_set(r"HKCU\Software\Wine", "Version", "winxp")
    uninstall_until_unpinned(machine, kivo)

    assert kivo.unpinned() == []
