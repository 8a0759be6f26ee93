"""Files that another program keeps in use while the product is removed: a
loaded DLL is moved aside and deleted at the next restart, a file held open
is deleted in its place at the next restart, and their folders after them,
so that nothing of the installation outlives the restart."""

from kivo import DEFAULT_INSTALL_DIR, install_kivo, uninstall_manifest
from removal import (aside_folder_of, assert_children_before_parents, installation_pending,
                     pending_paths, uninstall)

KIVO = DEFAULT_INSTALL_DIR
REGISTERED_DIR = "dir holds only files deleted after reboot, delete after reboot : "


def keep_in_use(machine, *how_and_paths):
    """A program outside the maker's list (the bed's sleeper, run from the
    bed's folder) that loads DLLs (--load) or holds files open (--hold)."""
    ready = machine.scratch("ready.txt")
    machine.start(machine.tool("sleeper"), *how_and_paths, "--ready", ready)
    machine.wait_for_file(ready)


def test_a_loaded_dll_and_a_held_file_are_gone_after_the_restart(machine):
    kivo = install_kivo(machine, uninstaller="Uninstall.exe",
                        programs={"Kivo.exe": "fake_kivo", r"Bin\KivoCore.dll": "pin_list.dll"},
                        files={r"resources\data\user.db": "db", r"resources\strings.dat": "s"})
    dll, held = kivo.path(r"Bin\KivoCore.dll"), kivo.path(r"resources\data\user.db")
    keep_in_use(machine, "--load", dll, "--hold", held)

    uninstall(machine, kivo)

    # The DLL could be moved but not deleted: it waits in the removal temp
    # folder. The held file could be neither moved nor deleted: it waits in
    # place, and the listed folders that hold nothing else wait after it.
    pending = [path for path, target in pending_paths(machine) if target == ""]
    aside = aside_folder_of(pending)
    assert aside is not None, pending
    assert machine.files_under(aside) == ["~KivoCore_1.dll"]
    assert installation_pending(machine, kivo.install_dir, aside) == [
        aside + r"\~KivoCore_1.dll",
        held,
        kivo.path(r"resources\data"),
        kivo.path("resources"),
        kivo.install_dir,
        aside,
    ]
    assert_children_before_parents(pending)
    assert machine.files_under(kivo.install_dir) == \
        ["resources\\", "resources\\data\\", "resources\\data\\user.db"]
    warnings = [text for severity, text in machine.log_messages()
                if severity == "WARNING" and text.startswith(REGISTERED_DIR)]
    assert warnings == [REGISTERED_DIR + kivo.path(r"resources\data"),
                        REGISTERED_DIR + kivo.path("resources"),
                        REGISTERED_DIR + kivo.install_dir]

    machine.restart()

    assert not machine.exists(kivo.install_dir)
    assert not machine.exists(aside)
    assert installation_pending(machine, kivo.install_dir, aside) == []


def test_folders_wait_for_the_restart_children_first_and_a_users_file_keeps_its_folder(machine):
    held = rf"{KIVO}\plugins\chat\cache\index.dat"
    mine = rf"{KIVO}\extras\my notes.txt"
    files = {r"plugins\chat\cache\index.dat": "index", r"plugins\chat\chat.dat": "chat",
             r"extras\extra.dat": "extra"}
    # Folders listed in no particular order: they are handled longest first.
    manifest = uninstall_manifest(
        files=[rf"{KIVO}\{p}" for p in ["Kivo.exe", "Uninstall.exe", *files]],
        dirs=[rf"{KIVO}\plugins", KIVO, rf"{KIVO}\plugins\chat\cache", rf"{KIVO}\extras",
              rf"{KIVO}\plugins\chat"])
    kivo = install_kivo(machine, uninstaller="Uninstall.exe", files=files, manifest=manifest)
    machine.write(mine, "the user's own file")
    keep_in_use(machine, "--hold", held)

    uninstall(machine, kivo)

    assert installation_pending(machine, KIVO) == [
        held, rf"{KIVO}\plugins\chat\cache", rf"{KIVO}\plugins\chat", rf"{KIVO}\plugins"]
    warnings = [text for severity, text in machine.log_messages()
                if severity == "WARNING" and text.startswith(REGISTERED_DIR)]
    assert warnings == [REGISTERED_DIR + p for p in (
        rf"{KIVO}\plugins\chat\cache", rf"{KIVO}\plugins\chat", rf"{KIVO}\plugins")]

    machine.restart()

    # The user's file and the folders that hold it are left alone.
    assert machine.files_under(KIVO) == ["extras\\", "extras\\my notes.txt"]
    assert machine.read_bytes(mine) == b"the user's own file"
