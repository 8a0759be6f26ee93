"""A Wine prefix used as one Windows machine by the end-to-end tests.

A template prefix is made once per build (null graphics driver, real user
folders, a font for Chinese text). Every test gets a fresh clone of it with
its own persistent wineserver; the test stops that server when it ends.
Everything here talks to one clone only and never touches another prefix.
"""

import contextlib
import dataclasses
import fcntl
import functools
import itertools
import json
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7

SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
AEDEBUG = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"
REPO_DIR = Path(__file__).resolve().parents[2]


class BedError(Exception):
    """The test bed itself could not do what a test asked."""


class Bed:
    """Where the build put the programs; set by ctest (tests/e2e/CMakeLists.txt)."""

    def __init__(self, build_dir, tools_dir=None, product_exe=None, work_dir=None):
        self.build_dir = Path(build_dir)
        self.tools_dir = Path(tools_dir or self.build_dir / "tests" / "tools")
        self.product_exe = Path(product_exe or self.build_dir / "Uninstall" / "kivo_uninstall.exe")
        self.work_dir = Path(work_dir or self.build_dir / "e2e")
        self.prefix_script = REPO_DIR / "tests" / "tools" / "prefix.sh"

    @classmethod
    def from_environment(cls):
        build_dir = os.environ.get("KIVO_BUILD_DIR")
        if not build_dir:
            raise BedError("KIVO_BUILD_DIR is not set: run these tests through ctest, "
                           "or set it to the build directory")
        return cls(build_dir, os.environ.get("KIVO_TOOLS_DIR"),
                   os.environ.get("KIVO_PRODUCT_EXE"), os.environ.get("KIVO_E2E_DIR"))

    def tool(self, name):
        """Host path of a test program of tests/tools ("answer_box", "pin_list.dll")."""
        file_name = name if "." in name else name + ".exe"
        override = os.environ.get("KIVO_TOOL_" + re.sub(r"\W", "_", name).upper())
        path = Path(override) if override and "." not in name else self.tools_dir / file_name
        if not path.is_file():
            raise BedError(f"test program {path} is missing: build the target kivo_all_tests")
        return path


def wine_env(prefix, extra=None):
    """Environment for Wine commands on |prefix|: quiet, headless, UTF-8 argv."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "WINESERVER", "WINELOADER"):
        env.pop(name, None)
    # Without a UTF-8 locale Wine turns non-ASCII arguments into garbage.
    env.update(WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               LANG="C.UTF-8", LC_ALL="C.UTF-8")
    env.update(extra or {})
    return env


def _quiet(args, env, timeout):
    subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout, check=False)


@contextlib.contextmanager
def _file_lock(path):
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


class Timings:
    """Seconds each bed step took; appended to <work>/timings.log."""

    def __init__(self, log_file):
        self.log_file = log_file
        self.steps = []

    @contextlib.contextmanager
    def measure(self, step):
        start = time.monotonic()
        yield
        seconds = time.monotonic() - start
        self.steps.append((step, seconds))
        with contextlib.suppress(OSError), open(self.log_file, "a") as log:
            log.write(f"{step}\t{seconds:.3f}\n")


class Template:
    """The prefix every machine of this build is cloned from. Made once."""

    READY = ".kivo-e2e-ready"

    def __init__(self, bed):
        self.bed = bed
        self.path = bed.work_dir / "template"
        self.timings = Timings(bed.work_dir / "timings.log")

    def ensure(self):
        with _file_lock(self.bed.work_dir / "template.lock"):
            if (self.path / self.READY).exists():
                return self
            env = wine_env(self.path)
            with self.timings.measure("template make"):
                subprocess.run([str(self.bed.prefix_script), "make", str(self.path)], env=env,
                               stdin=subprocess.DEVNULL, check=True, timeout=600)
                # A crashing program ends at once instead of waiting in the debugger.
                for view in ("/reg:32", "/reg:64"):
                    _quiet(["wine", "reg", "add", AEDEBUG, "/v", "Debugger", "/d", "", "/f", view],
                           env, 120)
                _quiet(["wineserver", "-k"], env, 120)
            (self.path / self.READY).touch()
        return self


@dataclasses.dataclass(frozen=True)
class RegValue:
    kind: str  # "REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_DWORD", "REG_BINARY", ...
    data: object  # str, list of str, int or bytes


@dataclasses.dataclass(frozen=True)
class Process:
    pid: int
    parent: int
    exe: str  # as the process was started ("Kivo.exe")
    path: str  # full image path, "" when it could not be read


@dataclasses.dataclass(frozen=True)
class LogLine:
    pid: int
    tid: int
    severity: str
    source: str  # "file.cc"
    line: int
    text: str


@dataclasses.dataclass(frozen=True)
class Box:
    """One message box to answer: its caption, the body it must show (None: any)
    and the button to press (None: only report it)."""
    caption: str
    press: int = None
    body: str = None


@dataclasses.dataclass
class RunResult:
    code: int  # Wine passes the low byte of the exit code only
    stdout: str
    stderr: str


def escape(text):
    """Spells |text| for the --escapes switch of the test programs: printable
    ASCII without double quotes, so no locale and no quoting rule can alter it."""
    out = []
    for char in text:
        if char == "\\":
            out.append("\\\\")
        elif " " <= char <= "~" and char != '"':
            out.append(char)
        else:
            out.extend(f"\\u{unit:04x}" for unit in _utf16_units(char))
    return "".join(out)


def _utf16_units(char):
    data = char.encode("utf-16-le")
    return [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]


class Machine:
    """One cloned prefix with its own persistent wineserver."""

    def __init__(self, bed, path, timings):
        self.bed = bed
        self.path = Path(path)
        self.timings = timings
        self.env = wine_env(self.path)
        self.drive_c = self.path / "drive_c"
        self._counter = itertools.count(1)
        self._booted = False

    @classmethod
    def clone(cls, bed, template, path):
        machine = cls(bed, path, template.timings)
        with machine.timings.measure("clone"):
            subprocess.run([str(bed.prefix_script), "clone", str(template.path), str(path)],
                           env=machine.env, stdin=subprocess.DEVNULL, check=True, timeout=300)
        machine.scratch_host.mkdir(parents=True, exist_ok=True)
        return machine

    # --- the server -------------------------------------------------------

    def boot(self):
        """Starts the clone's persistent server and its background services."""
        with self.timings.measure("server start"):
            _quiet(["wineserver", "-p"], self.env, 60)
            # The first process starts the prefix's services; they keep the
            # standard handles of that process, so it gets none.
            _quiet(["wine", "cmd", "/c", "exit"], self.env, 120)
        self._booted = True

    def shutdown(self):
        """Ends every process of the clone and its server (the registry is saved)."""
        if self._booted:
            _quiet(["wineserver", "-k"], self.env, 120)
            self._booted = False

    def restart(self):
        """What a restart of Windows would do: every process ends, then the
        pending file operations are carried out at boot."""
        with self.timings.measure("restart"):
            _quiet(["wineserver", "-k"], self.env, 120)
            _quiet(["wineserver", "-p"], self.env, 60)
            _quiet(["wine", "wineboot", "-r"], self.env, 120)
        self._booted = True

    @staticmethod
    def stop_servers_under(folder):
        """Stops the servers of clones left behind under |folder| by a run that
        was killed before its fixtures could stop them."""
        for prefix in Path(folder).glob("*/system.reg"):
            _quiet(["wineserver", "-k"], wine_env(prefix.parent), 60)

    def remove(self):
        self.shutdown()
        shutil.rmtree(self.path, ignore_errors=True)

    # --- paths ------------------------------------------------------------

    @property
    def scratch_host(self):
        """A folder of the bed inside the machine (C:\\kivo-bed) for reports."""
        return self.drive_c / "kivo-bed"

    def scratch(self, name):
        """Windows path of a new file name in the bed's folder."""
        return rf"C:\kivo-bed\{next(self._counter)}-{name}"

    def host_path(self, win_path):
        """The Linux path of a Windows path (drive letters through dosdevices);
        each component is matched ignoring case, as Windows does."""
        match = re.match(r"^([A-Za-z]):[\\/]?(.*)$", win_path)
        if not match:
            raise BedError(f"not an absolute Windows path: {win_path!r}")
        current = (self.path / "dosdevices" / (match.group(1).lower() + ":")).resolve()
        for part in (p for p in re.split(r"[\\/]+", match.group(2)) if p):
            candidate = current / part
            if not candidate.exists() and current.is_dir():
                lower = part.lower()
                candidate = next((c for c in current.iterdir() if c.name.lower() == lower),
                                 candidate)
            current = candidate
        return current

    def win_path(self, host_path):
        """The Windows path of a Linux path (C: inside the clone, else Z:)."""
        host_path = Path(host_path).absolute()
        try:
            relative = host_path.relative_to(self.drive_c)
            return "C:\\" + str(relative).replace("/", "\\") if str(relative) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(host_path).replace("/", "\\")

    # --- files ------------------------------------------------------------

    def exists(self, win_path):
        return os.path.lexists(self.host_path(win_path))

    def is_dir(self, win_path):
        return self.host_path(win_path).is_dir()

    def read_bytes(self, win_path):
        return self.host_path(win_path).read_bytes()

    def write(self, win_path, content):
        """Writes a file (str as UTF-8, or bytes), making missing folders."""
        path = self.host_path(win_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode("utf-8") if isinstance(content, str) else content)
        return win_path

    def copy_in(self, host_file, win_path):
        path = self.host_path(win_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(host_file, path)
        return win_path

    def mkdir(self, win_path):
        self.host_path(win_path).mkdir(parents=True, exist_ok=True)
        return win_path

    def files_under(self, win_dir):
        """Everything below a folder, as sorted paths relative to it ('sub\\a.txt');
        folders end in a backslash. None when the folder does not exist."""
        root = self.host_path(win_dir)
        if not root.is_dir():
            return None
        found = []
        for dirpath, dirnames, filenames in os.walk(root):
            relative = Path(dirpath).relative_to(root)
            for name in dirnames:
                found.append(str(relative / name).replace("/", "\\") + "\\")
            for name in filenames:
                found.append(str(relative / name).replace("/", "\\"))
        return sorted(p[2:] if p.startswith(".\\") else p for p in found)

    # --- programs ---------------------------------------------------------

    def tool(self, name):
        """Windows path (Z:) of a test program, to run it in place."""
        return self.win_path(self.bed.tool(name))

    def run(self, *args, timeout=60, cwd="C:\\", env=None):
        """Runs `wine ARGS...` to its end. args[0] is a Windows path, a tool's
        path or a Wine program name ("reg", "cmd")."""
        out = self.scratch_host / f"run-{next(self._counter)}"
        with open(out.with_suffix(".out"), "wb") as stdout, \
                open(out.with_suffix(".err"), "wb") as stderr:
            try:
                completed = subprocess.run(
                    ["wine", *map(str, args)], env={**self.env, **(env or {})},
                    cwd=self.host_path(cwd), stdin=subprocess.DEVNULL, stdout=stdout,
                    stderr=stderr, timeout=timeout)
            except subprocess.TimeoutExpired as error:
                raise BedError(f"{args} did not end within {timeout} s") from error
        return RunResult(completed.returncode,
                         out.with_suffix(".out").read_bytes().decode("utf-8", "replace"),
                         out.with_suffix(".err").read_bytes().decode("utf-8", "replace"))

    def start(self, program, *args, cwd="C:\\", env=None):
        """Starts a program in the background; returns a Program to wait for.
        The full Windows exit code is kept (see tests/tools/run_wait.cc)."""
        cmdline = subprocess.list2cmdline([str(program), *map(str, args)])
        return self.start_cmdline(cmdline, cwd=cwd, env=env)

    def start_cmdline(self, cmdline, cwd="C:\\", env=None):
        """Starts a program with exactly this Windows command line."""
        status = self.scratch("status.json")
        out = open(self.host_path(status).with_suffix(".out"), "wb")
        popen = subprocess.Popen(
            ["wine", str(self.bed.tool("run_wait")), "--status", status, "--cwd", cwd,
             "--escapes", "--cmdline", escape(cmdline)],
            env={**self.env, **(env or {})}, cwd=self.drive_c, stdin=subprocess.DEVNULL,
            stdout=out, stderr=subprocess.STDOUT)
        out.close()
        return Program(self, cmdline, status, popen)

    def answer(self, *boxes, timeout=30, wait_exit=False):
        """Starts answering message boxes in the background, in this order.
        timeout: seconds to wait for each box. wait_exit: afterwards also wait
        for the processes that showed the boxes and keep their exit codes."""
        report = self.scratch("answers.jsonl")
        args = [str(self.bed.tool("answer_box")), "--escapes", "--timeout-ms",
                str(int(timeout * 1000)), "--report", report]
        if wait_exit:
            args.append("--wait-exit")
        for box in boxes:
            args += ["--caption", escape(box.caption)]
            if box.body is not None:
                args += ["--expect-body", escape(box.body)]
            args += ["--press", "none" if box.press is None else str(box.press)]
        popen = subprocess.Popen(["wine", *args], env=self.env, cwd=self.drive_c,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        return Answerer(self, report, popen, timeout * (len(boxes) + wait_exit) + 30)

    # --- processes --------------------------------------------------------

    def processes(self):
        result = self.run(self.bed.tool("list_processes"))
        if result.code != 0:
            raise BedError(f"list_processes failed: {result.stderr}")
        return [Process(**json.loads(line)) for line in result.stdout.splitlines() if line]

    def running(self, exe):
        """Processes started as |exe| (file name, any case)."""
        return [p for p in self.processes() if p.exe.lower() == exe.lower()]

    def wait_until_gone(self, exe, timeout=30):
        deadline = time.monotonic() + timeout
        while self.running(exe):
            if time.monotonic() > deadline:
                raise BedError(f"{exe} still runs after {timeout} s: {self.running(exe)}")
            time.sleep(0.1)

    def wait_for_file(self, win_path, timeout=30):
        deadline = time.monotonic() + timeout
        while not self.exists(win_path):
            if time.monotonic() > deadline:
                raise BedError(f"{win_path} did not appear within {timeout} s")
            time.sleep(0.02)

    # --- the user's folders -------------------------------------------------

    @functools.cached_property
    def folders(self):
        """Folders as Wine reports them to a 32-bit program: APPDATA, LOCALAPPDATA,
        TEMP, USERPROFILE, ProgramFiles, CommonProgramFiles, SystemRoot, PUBLIC."""
        names = ["APPDATA", "LOCALAPPDATA", "TEMP", "USERPROFILE", "ProgramFiles",
                 "CommonProgramFiles", "SystemRoot", "PUBLIC"]
        result = self.run("cmd", "/c", "&".join(f"echo {n}=%{n}%" for n in names))
        folders = dict(line.strip().split("=", 1) for line in result.stdout.splitlines()
                       if "=" in line)
        missing = [n for n in names if folders.get(n, "%").startswith("%")]
        if missing:
            raise BedError(f"Wine reports no folder for {missing}: {result.stdout!r}")
        return folders

    @property
    def appdata(self):
        return self.folders["APPDATA"]

    @property
    def temp(self):
        return self.folders["TEMP"]

    # --- registry ---------------------------------------------------------

    def reg_import(self, text, view=32):
        """Imports .reg text (without the header line) into the given view."""
        reg_file = self.scratch("import.reg")
        content = "Windows Registry Editor Version 5.00\r\n\r\n" + text.replace("\r\n", "\n") \
            .replace("\n", "\r\n") + "\r\n"
        self.write(reg_file, b"\xff\xfe" + content.encode("utf-16-le"))
        result = self.run("reg", "import", reg_file, f"/reg:{view}")
        if result.code != 0:
            raise BedError(f"reg import failed ({result.code}): {result.stderr}\n{text}")

    def reg_set(self, key, name, value, kind="REG_SZ", view=32):
        """Sets one value; |name| None or "" is the key's default value."""
        self.reg_import(f"[{_long_root(key)}]\n{reg_line(name, kind, value)}\n", view)

    def reg_delete_key(self, key, view=32):
        self.reg_import(f"[-{_long_root(key)}]\n", view)

    def reg_delete_value(self, key, name, view=32):
        self.reg_import(f"[{_long_root(key)}]\n{_reg_name(name)}=-\n", view)

    def reg_export(self, key, view=32):
        """Every key from |key| down: {key path: {value name: RegValue}}, the
        default value under "". None when the key does not exist."""
        out = self.scratch("export.reg")
        result = self.run("reg", "export", key, out, f"/reg:{view}", "/y")
        if result.code != 0:
            return None
        return parse_reg_file(self.read_bytes(out))

    def reg_values(self, key, view=32):
        """The values of one key, or None when the key does not exist."""
        tree = self.reg_export(key, view)
        if tree is None:
            return None
        wanted = _long_root(key).lower()
        return next((values for path, values in tree.items() if path.lower() == wanted), {})

    def reg_value(self, key, name, view=32):
        return (self.reg_values(key, view) or {}).get(name or "")

    def pending_renames(self):
        """PendingFileRenameOperations in order, as (source, target) pairs
        exactly as stored ("\\??\\C:\\x", "" for a deletion, "!" before a
        target that may be replaced)."""
        value = self.reg_value(SESSION_MANAGER, "PendingFileRenameOperations")
        if value is None:
            return []
        items = value.data
        if len(items) % 2:
            raise BedError(f"odd number of strings in PendingFileRenameOperations: {items}")
        return list(zip(items[0::2], items[1::2]))

    # --- the product's log --------------------------------------------------

    @property
    def log_file(self):
        return self.appdata + r"\Norvane\Logs\kivo_uninstall.log"

    def log_lines(self):
        """The uninstall log, one LogLine per message. Lines without the
        prefix continue the message before them."""
        if not self.exists(self.log_file):
            return []
        return parse_log(self.read_bytes(self.log_file))

    def log_messages(self):
        """The log as (severity, text) pairs, for readable assertions."""
        return [(line.severity, line.text) for line in self.log_lines()]


class Program:
    """A program started in the background through run_wait.exe."""

    def __init__(self, machine, cmdline, status, popen):
        self.machine = machine
        self.cmdline = cmdline
        self._status = status
        self._popen = popen

    def _read_status(self):
        with contextlib.suppress(OSError, ValueError):
            return json.loads(self.machine.read_bytes(self._status))
        return {}

    @property
    def pid(self):
        deadline = time.monotonic() + 30
        while True:
            ended = self._popen.poll() is not None
            status = self._read_status()
            if "pid" in status:
                return status["pid"]
            if "error" in status or ended or time.monotonic() > deadline:
                raise BedError(f"{self.cmdline} did not start: {status}")
            time.sleep(0.02)

    def running(self):
        return "exit" not in self._read_status() and self._popen.poll() is None

    def wait(self, timeout=60):
        """The program's full Windows exit code."""
        try:
            self._popen.wait(timeout)
        except subprocess.TimeoutExpired as error:
            raise BedError(f"{self.cmdline} still runs after {timeout} s") from error
        status = self._read_status()
        if "exit" not in status:
            raise BedError(f"{self.cmdline} ended without an exit code: {status}")
        return status["exit"]


class Answerer:
    """answer_box.exe running in the background."""

    def __init__(self, machine, report, popen, timeout):
        self.machine = machine
        self.report = report
        self._popen = popen
        self._timeout = timeout

    def _report(self):
        if not self.machine.exists(self.report):
            return []
        text = self.machine.read_bytes(self.report).decode("utf-8")
        return [json.loads(line) for line in text.splitlines() if line]

    def seen(self):
        """What was seen so far: one dict per box (caption, body, buttons,
        topmost, pid, pressed; or an error)."""
        return [entry for entry in self._report() if "caption" in entry]

    def exits(self):
        """With wait_exit: {pid: exit code} of the processes that showed boxes."""
        return {e["pid"]: e.get("exit") for e in self._report() if "caption" not in e}

    def wait(self, timeout=None):
        """Waits until every box was answered; the list of what was seen.
        Raises BedError (with the report) on a time-out or a wrong body."""
        try:
            code = self._popen.wait(timeout or self._timeout)
        except subprocess.TimeoutExpired as error:
            self._popen.kill()
            raise BedError(f"answer_box hung; seen so far: {self._report()}") from error
        if code != 0:
            raise BedError(f"answer_box failed with {code}: {self._report()}")
        return self.seen()


# --- .reg files -------------------------------------------------------------

_ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
          "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG"}
_KIND_NUMBERS = {"REG_NONE": 0, "REG_SZ": 1, "REG_EXPAND_SZ": 2, "REG_BINARY": 3, "REG_DWORD": 4,
                 "REG_MULTI_SZ": 7, "REG_QWORD": 11}
_KIND_NAMES = {number: name for name, number in _KIND_NUMBERS.items()}


def _long_root(key):
    root, _, rest = key.partition("\\")
    root = _ROOTS.get(root.upper(), root)
    return root + ("\\" + rest if rest else "")


def _reg_name(name):
    if not name:
        return "@"
    return '"' + name.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _hex(data):
    return ",".join(f"{b:02x}" for b in data)


def reg_line(name, kind, value):
    """One value line of a .reg file. Strings are written as hex so that any
    character (and the exact type) survives."""
    if kind == "REG_DWORD":
        return f"{_reg_name(name)}=dword:{value:08x}"
    if kind in ("REG_SZ", "REG_EXPAND_SZ"):
        data = (value + "\0").encode("utf-16-le")
    elif kind == "REG_MULTI_SZ":
        data = "".join(item + "\0" for item in value).encode("utf-16-le") + b"\0\0"
    elif kind == "REG_QWORD":
        data = value.to_bytes(8, "little")
    else:
        data = bytes(value)
    return f"{_reg_name(name)}=hex({_KIND_NUMBERS[kind]:x}):{_hex(data)}"


def _decode_value(kind_number, data):
    kind = _KIND_NAMES.get(kind_number, f"REG_{kind_number}")
    if kind in ("REG_SZ", "REG_EXPAND_SZ"):
        return RegValue(kind, data.decode("utf-16-le").split("\0", 1)[0])
    if kind == "REG_MULTI_SZ":
        text = data.decode("utf-16-le")
        # Strings end in NUL and the list ends in one more; empty strings
        # inside the list are kept (PendingFileRenameOperations has them).
        if text.endswith("\0"):
            text = text[:-1]
        items = text.split("\0")
        if items and items[-1] == "":
            items.pop()
        return RegValue(kind, items)
    if kind in ("REG_DWORD", "REG_QWORD"):
        return RegValue(kind, int.from_bytes(data, "little"))
    return RegValue(kind, data)


def _unescape_reg_string(text):
    return re.sub(r'\\(.)', lambda m: {"n": "\n", "r": "\r", "0": "\0", "t": "\t"}.get(
        m.group(1), m.group(1)), text)


_VALUE_LINE = re.compile(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', re.S)


def parse_reg_file(raw):
    """Parses the bytes of an exported .reg file (UTF-16LE with a BOM)."""
    text = raw.decode("utf-16")
    joined, pending = [], ""
    for line in text.replace("\r\n", "\n").split("\n"):
        if pending:
            line, pending = pending + line.strip(), ""
        match = _VALUE_LINE.match(line)
        if match and match.group(3).startswith("hex") and line.endswith("\\"):
            pending = line[:-1]  # hex data goes on in the next line
            continue
        joined.append(line)
    tree, current = {}, None
    for line in joined:
        if line.startswith("[") and line.endswith("]"):
            current = tree.setdefault(line[1:-1], {})
            continue
        match = _VALUE_LINE.match(line)
        if current is None or not match:
            continue
        name = "" if match.group(1) == "@" else _unescape_reg_string(match.group(2))
        data = match.group(3)
        if data.startswith('"'):
            current[name] = RegValue("REG_SZ", _unescape_reg_string(data[1:-1]))
        elif data.startswith("dword:"):
            current[name] = RegValue("REG_DWORD", int(data[6:], 16))
        elif data.startswith("hex"):
            kind_match = re.match(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)", data)
            kind_number = int(kind_match.group(1), 16) if kind_match.group(1) else 3
            hex_bytes = bytes(int(b, 16) for b in kind_match.group(2).split(",") if b.strip())
            current[name] = _decode_value(kind_number, hex_bytes)
    return tree


# --- the product's log ------------------------------------------------------

_LOG_PREFIX = re.compile(
    rb"^\[(\d+):(\d+):\d{4}/\d{6}:\d+:([A-Z_]+|VERBOSE\d+):([^:()\]]*)\((\d+)\)\] (.*)$", re.S)


def _decode_log_text(raw):
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        # A few messages are written in code page 936.
        return raw.decode("gbk", "replace")


def parse_log(raw):
    physical_lines = raw.split(b"\n")
    if physical_lines and physical_lines[-1] == b"":
        physical_lines.pop()
    lines = []
    for physical in physical_lines:
        match = _LOG_PREFIX.match(physical)
        if match:
            pid, tid, severity, source, line, text = match.groups()
            lines.append(LogLine(int(pid), int(tid), severity.decode(), source.decode(),
                                 int(line), _decode_log_text(text)))
        elif lines:
            text = lines[-1].text + "\n" + _decode_log_text(physical)
            lines[-1] = dataclasses.replace(lines[-1], text=text)
        else:
            lines.append(LogLine(0, 0, "", "", 0, _decode_log_text(physical)))
    return lines
