"""The uninstall manifest on a machine: what a broken or odd Uninstall.xml
makes the removal do, and an installation on a second volume.

Every case starts from the same installation: listed files and folders, a
COM module, listed registry values next to a value of the user's, the
built-in things (autostart value, desktop shortcut, per-user folders) and a
file of the user's own in the installation folder. A case names which of
those groups the run removes and the exact lines DeleteFiles logs."""

import os
import re
import shutil
import uuid
from pathlib import Path

import pytest

from kivo import DEFAULT_INSTALL_DIR, install_kivo, make_shortcut
from machine import RegValue
from removal import (aside_folder_of, delete_files_messages, pending_paths, uninstall,
                     unregistrations)

KIVO = DEFAULT_INSTALL_DIR
UNREG_MARKER = "unreg_marker.dll"
TEST_KEY = r"HKCU\Software\KivoManifest"
RUN_KEY = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"

INSTALLED = ["Kivo.exe", "Uninstall.exe", r"Bin\KivoCom.dll", r"resources\strings.dat",
             r"resources\skin\main.skin"]
FOLDERS = ["Bin", "resources", r"resources\skin"]
USER_FILE = "my notes.txt"


def attr(name, value):
    return "" if value is None else f' {name}="{value}"'


def manifest_text(version="1.0", module_type="DLL", rootkey="HKCU", files=True, extra_modules="",
                  extra_keys="", extra_files="", dirs=None):
    """An Uninstall.xml for the installation, with knobs for the cases."""
    dirs = [rf"{KIVO}\{d}" for d in FOLDERS] + [KIVO] if dirs is None else dirs
    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<Uninstall>"]
    if version is not False:
        out.append(f"  <Version{attr('versionnum', version)}/>")
    out += ["  <Regsvr>",
            f"    <Moudle{attr('type', module_type)} path=\"$intallpath$\\Bin\\KivoCom.dll\"/>",
            extra_modules, "  </Regsvr>",
            "  <Registry>",
            f"    <Key{attr('rootkey', rootkey)} subkey=\"Software\\KivoManifest\\Listed\">",
            '      <Value name="a"/>', '      <Value name="b"/>', '      <Value name="@"/>',
            "    </Key>", extra_keys, "  </Registry>"]
    if files:
        out.append("  <Files>")
        out += [f'    <File path="{KIVO}\\{p}"/>' for p in INSTALLED]
        out.append(extra_files)
        out += [f'    <Dir path="{d}"/>' for d in dirs]
        out.append("  </Files>")
    out.append("</Uninstall>")
    return "\n".join(line for line in out if line) + "\n"


class Installation:
    """The machine before the run, and what of it is left afterwards."""

    def __init__(self, machine, manifest, install_dir=KIVO, user_file=True):
        self.machine = machine
        self.documents = machine.folders["USERPROFILE"] + r"\Documents"
        self.mini_app = self.documents + r"\Norvane Files\Kivo\global\nt_data\MiniApp"
        self.versions = machine.appdata + r"\Kivo\versions"
        self.shortcut = machine.folders["PUBLIC"] + r"\Desktop\Kivo.lnk"
        programs = {"Kivo.exe": "fake_kivo", r"Bin\KivoCom.dll": machine.bed.tool(UNREG_MARKER)}
        files = {r"resources\strings.dat": "strings\n", r"resources\skin\main.skin": "skin\n"}
        if user_file:
            files[USER_FILE] = "the user's own\n"
        self.user_file = user_file
        self.kivo = install_kivo(machine, install_dir=install_dir, programs=programs, files=files,
                                 manifest=None if manifest in (None, "folder") else manifest,
                                 uninstaller="Uninstall.exe")
        self.manifest = self.kivo.path("Uninstall.xml")
        machine.reg_import("\n".join([
            rf"[HKEY_CURRENT_USER\Software\KivoManifest\Listed]",
            '@="default"', '"a"="1"', '"b"="2"', '"keep"="the user\'s"',
            rf"[HKEY_CURRENT_USER\Software\KivoManifest\Neighbour]", '"n"="1"',
            r"[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]",
            '"KivoNT"="Kivo.exe"', '"Other"="other.exe"',
        ]) + "\n")
        make_shortcut(machine, self.shortcut, self.kivo.path("Kivo.exe"))
        machine.write(self.mini_app + r"\app\index.js", "js")
        machine.write(self.versions + r"\9.1.0.100\core.dat", "core")

    def groups(self):
        """Which groups of the installation are still (completely) there."""
        m, kivo = self.machine, self.kivo
        listed = m.reg_values(TEST_KEY + r"\Listed") or {}
        return {
            "module": not unregistrations(m),
            "registry": all(n in listed for n in ("", "a", "b")),
            "autostart": "KivoNT" in (m.reg_values(RUN_KEY) or {}),
            "shortcut": m.exists(self.shortcut),
            "files": all(m.exists(kivo.path(p)) for p in INSTALLED if p != "Uninstall.exe"),
            "per_user": m.exists(self.mini_app) and m.exists(self.versions),
            "manifest": m.exists(self.manifest),
        }

    def assert_not_its_own_untouched(self):
        m = self.machine
        if self.user_file:
            assert m.read_bytes(self.kivo.path(USER_FILE)) == b"the user's own\n"
        assert (m.reg_values(TEST_KEY + r"\Listed") or {}).get("keep") == \
            RegValue("REG_SZ", "the user's")
        assert m.reg_values(TEST_KEY + r"\Neighbour") == {"n": RegValue("REG_SZ", "1")}
        assert m.reg_values(RUN_KEY).get("Other") == RegValue("REG_SZ", "other.exe")


ALL = {"module", "registry", "autostart", "shortcut", "files", "per_user", "manifest"}
BEFORE_FILES = {"module", "registry", "autostart", "shortcut"}
NOTHING = set()


def _lines(*pairs):
    return [tuple(p) for p in pairs]


# (id, manifest text or a special, groups removed, DeleteFiles' own lines)
CASES = [
    ("well_formed", manifest_text(), ALL, []),
    # Something stands at the manifest's place but cannot be read.
    ("a_folder_named_Uninstall_xml", "folder", NOTHING, _lines(("ERROR", "ErrorID = 3"))),
    # Cut off in the middle of an element, as by an installer that died writing it.
    ("not_well_formed", manifest_text()[:300], NOTHING, _lines(("ERROR", "ErrorID = 6"))),
    ("empty", "", NOTHING, _lines(("ERROR", "ErrorID = 13"))),
    ("no_root", manifest_text().replace("Uninstall>", "Install>"), NOTHING,
     _lines(("ERROR", "uninstall_root == NULL"))),
    ("no_version", manifest_text(version=False), NOTHING,
     _lines(("ERROR", "version_num_value == NULL"))),
    ("version_without_versionnum", manifest_text(version=None), NOTHING,
     _lines(("ERROR", "version_num_value == NULL"))),
    ("versionnum_2.0", manifest_text(version="2.0"), ALL, _lines(("INFO", "version num = 2.0"))),
    ("versionnum_1.1", manifest_text(version="1.1"), ALL, _lines(("INFO", "version num = 1.1"))),
    ("versionnum_1", manifest_text(version="1"), ALL, _lines(("ERROR", "version num invalid"))),
    ("versionnum_spaced", manifest_text(version=" 1 . 0 "), ALL, []),
    ("entries_without_required_attributes",
     manifest_text(extra_modules='    <Moudle path="C:\\x.dll"/>\n    <Moudle type="DLL"/>\n'
                                 '    <Moudle type="EXE" path="C:\\x.exe"/>',
                   extra_keys='    <Key subkey="Software\\KivoManifest\\Neighbour"/>\n'
                              '    <Key rootkey="HKCU"/>\n'
                              '    <Key rootkey="HKCU" subkey="Software\\KivoManifest\\Neighbour">'
                              '<Value/></Key>',
                   extra_files='    <File/>\n    <Dir/>'),
     ALL,
     _lines(("ERROR", "type == NULL"), ("ERROR", "path == NULL"), ("ERROR", "arg == NULL"),
            ("ERROR", "root_key == NULL"), ("ERROR", "sub_key == NULL"),
            ("ERROR", "name == NULL"), ("ERROR", "path_name == NULL"),
            ("ERROR", "path_name == NULL"))),
    ("lower_case_dll", manifest_text(module_type="dll"), ALL - {"module"}, []),
    ("lower_case_rootkey", manifest_text(rootkey="hkcu"), ALL - {"registry"}, []),
    ("no_files_element", manifest_text(files=False), BEFORE_FILES, []),
]


@pytest.mark.parametrize("manifest, removed, lines", [c[1:] for c in CASES],
                         ids=[c[0] for c in CASES])
def test_what_a_manifest_makes_the_removal_do(machine, manifest, removed, lines):
    setup = Installation(machine, manifest)
    if manifest == "folder":
        machine.mkdir(setup.manifest)
        machine.write(setup.manifest + r"\inside.txt", "x")
    assert setup.groups() == {group: True for group in ALL}

    uninstall(machine, setup.kivo)

    # DeleteFiles' own lines, without those of the built-in folder removals
    # (only reached when the manifest has its Files element).
    own = [m for m in delete_files_messages(machine)
           if not re.match(r"(mini_app_path|versions_path = |versions (not )?exist)", m[1])]
    assert own == lines
    left = setup.groups()
    assert {group for group, there in left.items() if not there} == removed
    setup.assert_not_its_own_untouched()
    if removed >= {"files"}:
        assert machine.files_under(setup.kivo.install_dir) == [USER_FILE]
    if manifest == "folder":
        assert machine.exists(setup.manifest + r"\inside.txt")


def test_the_default_value_is_deleted_by_its_at_sign_name(machine):
    setup = Installation(machine, manifest_text())
    uninstall(machine, setup.kivo)
    assert machine.reg_values(TEST_KEY + r"\Listed") == {"keep": RegValue("REG_SZ", "the user's")}


def test_a_folder_listed_before_its_subfolder_is_removed_after_it(machine):
    # Parents first in the document: the longest path is handled first, so
    # both go.
    dirs = [KIVO, rf"{KIVO}\resources", rf"{KIVO}\resources\skin", rf"{KIVO}\Bin"]
    setup = Installation(machine, manifest_text(dirs=dirs), user_file=False)
    uninstall(machine, setup.kivo)
    assert not machine.exists(KIVO)
    assert pending_paths(machine) == []


def test_the_backup_manifest_is_read_when_the_primary_is_absent_and_kept(machine):
    version = "9.1.0.100"
    setup = Installation(machine, None)
    backup = machine.write(
        rf"{machine.appdata}\Norvane\Kivo\STemp\Uninstall\{version}\Uninstall.xml",
        manifest_text(version="1.1"))

    uninstall(machine, setup.kivo)

    assert ("INFO", "version num = 1.1") in delete_files_messages(machine)
    # Everything went; there never was a primary manifest.
    assert {g for g, there in setup.groups().items() if not there} == ALL
    assert machine.read_bytes(backup) == manifest_text(version="1.1").encode()
    setup.assert_not_its_own_untouched()


# --- a second volume ---------------------------------------------------------

def tmpfs_folder():
    """A fresh folder on a file system other than the build's (the kernel's
    shared-memory tmpfs), or None. Wine moves across drives only by copying
    when rename() fails with EXDEV, so only another file system shows a real
    cross-volume move."""
    shm = Path("/dev/shm")
    here = Path(__file__).resolve()
    if not shm.is_dir() or os.stat(shm).st_dev == os.stat(here).st_dev:
        return None
    folder = shm / f"kivo-e2e-{uuid.uuid4().hex}"
    folder.mkdir()
    return folder


@pytest.fixture
def second_volume(machine):
    """Drive D: of the machine on another file system; removed afterwards."""
    folder = tmpfs_folder()
    if folder is None:
        pytest.skip("no second file system (/dev/shm tmpfs) to map as drive D:")
    link = machine.path / "dosdevices" / "d:"
    # The drive must be known before the server maps it: restart the server.
    machine.shutdown()
    link.symlink_to(folder)
    machine.boot()
    yield "D:"
    machine.shutdown()
    link.unlink()
    shutil.rmtree(folder, ignore_errors=True)


def test_on_a_second_volume_the_removal_temp_folder_is_inside_the_installation(
        machine, second_volume):
    install_dir = second_volume + r"\Apps\Norvane\Kivo"
    dirs = [rf"{install_dir}\{d}" for d in FOLDERS] + [install_dir]
    text = manifest_text(dirs=dirs).replace(KIVO, install_dir)
    setup = Installation(machine, text, install_dir=install_dir, user_file=False)
    module = setup.kivo.path(r"Bin\KivoCom.dll")
    ready = machine.scratch("ready.txt")
    machine.start(machine.tool("sleeper"), "--load", module, "--ready", ready)
    machine.wait_for_file(ready)

    uninstall(machine, setup.kivo)

    # The module in use could only be renamed, not copied and deleted: it
    # went aside on its own volume, inside the installation.
    deletions = [path for path, target in pending_paths(machine) if target == ""]
    aside = aside_folder_of(deletions)
    assert aside is not None, deletions
    assert re.fullmatch(re.escape(install_dir) + r"\\kivo_setup_\d{1,5}", aside), aside
    assert deletions[0] == aside + r"\~KivoCom_1.dll"
    assert not any(text.startswith("rename ") for _, text in delete_files_messages(machine))
    assert machine.files_under(install_dir) == [aside.rsplit("\\", 1)[1] + "\\",
                                                aside.rsplit("\\", 1)[1] + r"\~KivoCom_1.dll"]
    # Nothing went through the temporary folder on C:.
    assert not any(re.fullmatch(r"kivo_setup_\d+\\~.*", p)
                   for p in machine.files_under(machine.temp) or [])

    machine.restart()

    assert not machine.exists(install_dir)
    assert machine.is_dir(second_volume + r"\Apps\Norvane")
