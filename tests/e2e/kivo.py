"""Puts a Kivo installation on a machine, the way the product's installer leaves it."""

import dataclasses
import json
from pathlib import Path
from xml.sax.saxutils import quoteattr

from machine import reg_line

KIVO_KEY = r"HKLM\Software\Norvane\KivoNT"
DEFAULT_INSTALL_DIR = r"C:\Program Files (x86)\Norvane\Kivo"
PIN_FOLDERS = {
    "TaskBar": r"Microsoft\Internet Explorer\Quick Launch\User Pinned\TaskBar",
    "StartMenu": r"Microsoft\Internet Explorer\Quick Launch\User Pinned\StartMenu",
}
# The shell's Start-menu pin list; Wine has none, the bed registers a stand-in.
START_MENU_PIN_CLSID = "{A2A9545D-A0C2-42B4-9708-A0B2BADD77C8}"
PIN_LIST_DLL = r"C:\kivo-bed\pin_list.dll"

DEFAULT = object()  # "what an installer would have left"


def uninstall_manifest(files=(), dirs=(), modules=(), keys=(), version="1.0"):
    """Text of an Uninstall.xml. modules: (type, path, uninstall_arg or None);
    keys: (rootkey, subkey, [value names])."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<Uninstall>",
           f"  <Version versionnum={quoteattr(version)}/>"]
    if modules:
        out.append("  <Regsvr>")
        for kind, path, arg in modules:
            extra = f" uninstall_arg={quoteattr(arg)}" if arg is not None else ""
            out.append(f"    <Moudle type={quoteattr(kind)} path={quoteattr(path)}{extra}/>")
        out.append("  </Regsvr>")
    if keys:
        out.append("  <Registry>")
        for root, subkey, names in keys:
            out.append(f"    <Key rootkey={quoteattr(root)} subkey={quoteattr(subkey)}>")
            out += [f"      <Value name={quoteattr(name)}/>" for name in names]
            out.append("    </Key>")
        out.append("  </Registry>")
    out.append("  <Files>")
    out += [f"    <File path={quoteattr(path)}/>" for path in files]
    out += [f"    <Dir path={quoteattr(path)}/>" for path in dirs]
    out.append("  </Files>")
    out.append("</Uninstall>")
    return "\n".join(out) + "\n"


@dataclasses.dataclass
class Kivo:
    """What install_kivo put on the machine."""
    machine: object
    install_dir: str
    version: str
    files: list  # Windows paths of every file put into the installation folder
    manifest: str  # Windows path of Uninstall.xml ("" when there is none)
    backup_manifest: str  # Windows path of the backup ("" when there is none)
    shortcuts: dict  # .lnk path -> target
    pins: list  # .lnk paths in the pin folders
    uninstaller: str = ""  # Windows path of the product's copy, if one was installed

    def path(self, relative):
        return self.install_dir.rstrip("\\") + "\\" + relative

    def unpinned(self):
        """Paths handed to the stand-in pin list's RemoveFromList, in order."""
        log = PIN_LIST_DLL + ".calls.txt"
        if not self.machine.exists(log):
            return []
        text = self.machine.read_bytes(log).decode("utf-8")
        return [json.loads(line)["remove"] for line in text.splitlines() if line]


def install_kivo(machine, *, install_dir=DEFAULT_INSTALL_DIR, install_value=None,
                 value_type="REG_SZ", version="9.1.0.100", rversion=None, registry=True,
                 programs=DEFAULT, files=DEFAULT, manifest=DEFAULT, backup_manifest=None,
                 shortcuts=(), pins=(), service=None, pin_list=False, uninstaller=None):
    """Installs a fake Kivo.

    install_value: the "Install" value as stored (default: install_dir), of
      type value_type (REG_SZ or REG_EXPAND_SZ); version / rversion: those
      values (None: not written); registry=False writes no key at all.
    programs: {relative path: tool name or host Path} copied into the folder
      (default: Kivo.exe from fake_kivo).
    files: {relative path: str or bytes} (default: one data file).
    manifest: Uninstall.xml text, None for none, or DEFAULT for one that lists
      every installed file and folder.
    backup_manifest: text of the backup copy under the uninstaller's temporary
      folder ((AppData)\\Norvane\\Kivo\\STemp\\Uninstall\\(version)).
    shortcuts: {.lnk Windows path: target} (target None: Kivo.exe).
    pins: [("TaskBar" or "StartMenu", link name, target or None)].
    service: a service name (e.g. "KRemotingSvc") to create.
    pin_list: register the stand-in Start-menu pin list, which records unpins.
    uninstaller: a file name under which the built product is copied into the
      installation folder (e.g. "Uninstall.exe"); kivo.uninstaller is its path.
    """
    bed = machine.bed
    if programs is DEFAULT:
        programs = {"Kivo.exe": "fake_kivo"}
    if uninstaller:
        programs = {**programs, uninstaller: bed.product_exe}
    if files is DEFAULT:
        files = {r"resources\strings.dat": "kivo strings\n"}
    kivo = Kivo(machine, install_dir, version or "", [], "", "", {}, [])
    if uninstaller:
        kivo.uninstaller = kivo.path(uninstaller)
    machine.mkdir(install_dir)

    for relative, source in programs.items():
        host = Path(source) if isinstance(source, Path) else bed.tool(source)
        kivo.files.append(machine.copy_in(host, kivo.path(relative)))
    for relative, content in files.items():
        kivo.files.append(machine.write(kivo.path(relative), content))

    if manifest is DEFAULT:
        manifest = uninstall_manifest(files=kivo.files,
                                      dirs=[kivo.path(f) for f in _folders(programs, files)]
                                      + [install_dir])
    if manifest is not None:
        kivo.manifest = machine.write(kivo.path("Uninstall.xml"), manifest)
    if backup_manifest is not None:
        kivo.backup_manifest = machine.write(
            rf"{machine.appdata}\Norvane\Kivo\STemp\Uninstall\{version}\Uninstall.xml",
            backup_manifest)

    if registry:
        lines = [f"[HKEY_LOCAL_MACHINE{KIVO_KEY[4:]}]",
                 reg_line("Install", value_type,
                          install_dir if install_value is None else install_value)]
        if version is not None:
            lines.append(reg_line("version", "REG_SZ", version))
        if rversion is not None:
            lines.append(reg_line("rversion", "REG_SZ", rversion))
        machine.reg_import("\n".join(lines) + "\n")

    kivo_exe = kivo.path("Kivo.exe")
    for link, target in dict(shortcuts).items():
        make_shortcut(machine, link, target or kivo_exe)
        kivo.shortcuts[link] = target or kivo_exe
    for where, name, target in pins:
        link = rf"{machine.appdata}\{PIN_FOLDERS[where]}\{name}"
        make_shortcut(machine, link, target or kivo_exe)
        kivo.pins.append(link)

    if service:
        result = machine.run("sc", "create", service, "binPath=", kivo.path("service.exe"))
        if result.code != 0:
            raise RuntimeError(f"sc create {service} failed: {result.stdout}{result.stderr}")
    if pin_list:
        register_pin_list(machine)
    return kivo


@dataclasses.dataclass
class UninstallRun:
    launcher_exit: int  # exit code of the program the user started
    boxes: list  # what the user saw, box by box (see machine.Answerer.seen)
    exits: dict  # {pid: exit code} of the processes that showed the boxes


def run_uninstaller(machine, exe, *boxes, timeout=60, env=None):
    """Starts the uninstaller as the user does (no arguments, from C:\\),
    answers |boxes| in order and waits until every process started as that
    file name has ended (the launcher and its temporary copy). env: extra
    environment variables for the launcher (its copy inherits them)."""
    answers = machine.answer(*boxes, timeout=timeout, wait_exit=True)
    launcher = machine.start(exe, env=env)
    launcher_exit = launcher.wait(timeout)
    seen = answers.wait()
    machine.wait_until_gone(exe.rsplit("\\", 1)[-1], timeout)
    return UninstallRun(launcher_exit, seen, answers.exits())


def _folders(*relative_path_lists):
    """Every folder below the installation folder that holds an installed file."""
    folders = set()
    for paths in relative_path_lists:
        for relative in paths:
            parts = relative.split("\\")[:-1]
            folders.update("\\".join(parts[:n]) for n in range(1, len(parts) + 1))
    return sorted(folders)


def make_shortcut(machine, link, target, args=None):
    machine.mkdir(link.rsplit("\\", 1)[0])
    command = [machine.bed.tool("make_link"), link, target]
    if args is not None:
        command += ["--args", args]
    result = machine.run(*command)
    if result.code != 0:
        raise RuntimeError(f"make_link {link} failed: {result.stderr}")
    return link


def register_pin_list(machine):
    """Registers the stand-in CLSID_StartMenuPin server (tests/tools/pin_list)."""
    machine.copy_in(machine.bed.tool("pin_list.dll"), PIN_LIST_DLL)
    machine.reg_import(
        f"[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{START_MENU_PIN_CLSID}\\InprocServer32]\n"
        + reg_line("", "REG_SZ", PIN_LIST_DLL) + "\n"
        + reg_line("ThreadingModel", "REG_SZ", "Apartment") + "\n")
