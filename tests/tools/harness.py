"""The programs people run beside mailhost on one Maildir (Dovecot, mbsync,
notmuch), started on loopback as a user of the tests' own and stopped again,
and mailhost itself, driven as a person or a script would.

Dovecot will not touch mail as uid 0, so as root everything runs as the
system user TEST_USER (made here when missing); as anyone else, as that
person. Every file of a test lives in one folder owned by that user."""

import base64
import contextlib
import ctypes
import email
import email.policy
import grp
import imaplib
import json
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

TEST_USER = "sonvera-mailtest"
IMAP_USER = "tester"
IMAP_PASSWORD = "secret"
SKIPPED = 77  # CTest's SKIP_RETURN_CODE for these tests
PR_SET_PDEATHSIG = 1

SYSTEM_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
# Generous upper bounds for a shared, noisy machine; nothing is timed.
SETTLE = 30
RUN_LIMIT = 180


def record(window="w1"):
    """A voice draft as a person makes one: a new mail, Record, three seconds, Stop."""
    return [f"new {window}", f"activate {window}", f"click {window} Record", "wait 3s",
            f"click {window} Stop", "wait 500ms"]


RECORD = record()

# What a person types in the corpus of mail written by mailhost.
GERMAN_SUBJECT = ("Grüße aus Köln – Termin am Freitag, und eine lange Betreffzeile, "
                  "die ein Programm umbrechen muss")
GERMAN_TO = "Jürgen Groß <jg@example.org>, anna@example.org"
GERMAN_BODY = ["Hallo Jürgen,", "die Übersicht für März liegt bei.", "Bis Freitag!"]
GERMAN_FILE = ("Übersicht März.txt", "Größe: 3 m²\n")


def tool(name):
    """The path of a program, or a skip when it is not installed."""
    found = shutil.which(name, path=os.environ.get("PATH", "") + ":" + SYSTEM_PATH)
    if not found:
        reason = f"{name} is not installed (bash scripts/setup installs it)"
        if os.environ.get("CI"):
            raise AssertionError(reason)  # CI ran the setup: a missing tool is its fault
        raise unittest.SkipTest(reason)
    return found


def quoted(text):
    """A word of the scenario language."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def imap_utf7(name):
    """A mailbox name in IMAP's modified UTF-7, as it is written on disk."""
    out, wide = [], []

    def flush():
        if wide:
            raw = "".join(wide).encode("utf-16-be")
            out.append("&" + base64.b64encode(raw).decode().rstrip("=").replace("/", ",") + "-")
            wide.clear()

    for ch in name:
        if 0x20 <= ord(ch) <= 0x7E:
            flush()
            out.append("&-" if ch == "&" else ch)
        else:
            wide.append(ch)
    flush()
    return "".join(out)


def imap_unquoted(word):
    """A mailbox name as a LIST answer gives it, atom or quoted string."""
    text = word.decode()
    if text.startswith('"'):
        return text[1:-1].replace('\\"', '"').replace("\\\\", "\\")
    return text


def imap_quoted(name):
    return '"' + imap_utf7(name).replace("\\", "\\\\").replace('"', '\\"') + '"'


def wait_until(probe, what, limit=SETTLE):
    """Polls probe() until it gives something true; fails naming what was awaited."""
    deadline = time.monotonic() + limit
    last = None
    while True:
        last = probe()
        if last:
            return last
        if time.monotonic() > deadline:
            raise AssertionError(f"{what}: still not so after {limit} s (last seen: {last!r})")
        time.sleep(0.1)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_open(port):
    with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.5):
        return True
    return False


def _group_members(pgid):
    """The processes still in a process group, from /proc."""
    members = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rfind(")") + 2 :].split()
        if int(fields[2]) == pgid and fields[0] != "Z":  # a zombie is no longer running
            members.append(int(entry))
    return members


def _stop_with_parent():
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def stop_process(process, grace=15, polite=signal.SIGTERM):
    """Stops a process started in a session of its own, and whatever it left
    in its process group, by id."""
    if process.poll() is None:
        with contextlib.suppress(ProcessLookupError):
            process.send_signal(polite)
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGKILL)
            process.wait()
    # Its helpers end on their own soon after it; the rest are stopped.
    deadline = time.monotonic() + 5
    while _group_members(process.pid) and time.monotonic() < deadline:
        time.sleep(0.05)
    for pid in _group_members(process.pid):
        with contextlib.suppress(ProcessLookupError):
            os.kill(pid, signal.SIGKILL)


class Account:
    """The user the tools and mailhost run as."""

    def __init__(self):
        self.switch = os.geteuid() == 0
        entry = self._test_user() if self.switch else pwd.getpwuid(os.geteuid())
        self.name, self.uid, self.gid = entry.pw_name, entry.pw_uid, entry.pw_gid

    @staticmethod
    def _test_user():
        useradd = shutil.which("useradd", path=SYSTEM_PATH)
        for _ in range(50):
            with contextlib.suppress(KeyError):
                return pwd.getpwnam(TEST_USER)
            if not useradd or not shutil.which("setpriv", path=SYSTEM_PATH):
                raise unittest.SkipTest("as root the tests need useradd and setpriv to run as a user")
            made = subprocess.run(
                [useradd, "--system", "--user-group", "--no-create-home",
                 "--home-dir", "/nonexistent", "--shell", "/usr/sbin/nologin", TEST_USER],
                stdin=subprocess.DEVNULL, capture_output=True, text=True)
            # 9: a test beside this one made it first; 10: the passwd file is busy.
            if made.returncode not in (0, 9, 10):
                raise RuntimeError(f"useradd {TEST_USER} failed: {made.stderr.strip()}")
            if made.returncode == 10:
                time.sleep(0.2)
        raise RuntimeError(f"useradd {TEST_USER}: /etc/passwd stayed busy")

    def argv(self, argv, stop_with_parent=False):
        if not self.switch:
            return list(argv)
        # A change of user clears the parent-death signal: setpriv sets it again.
        again = ["--pdeathsig=TERM"] if stop_with_parent else []
        return [shutil.which("setpriv", path=SYSTEM_PATH), f"--reuid={self.uid}",
                f"--regid={self.gid}", "--init-groups"] + again + ["--"] + list(argv)

    def own(self, path):
        if self.switch:
            os.chown(path, self.uid, self.gid)

    def can_read(self, path):
        return subprocess.run(self.argv(["test", "-r", path]), stdin=subprocess.DEVNULL).returncode == 0


class Workspace:
    """One test's folder, owned by the account; removed at the end unless
    SONVERA_KEEP_TEST_FILES is set."""

    def __init__(self, account, name):
        self.account = account
        self.path = tempfile.mkdtemp(prefix=f"sonvera-{name}-")
        os.chmod(self.path, 0o700)
        account.own(self.path)
        self.tmp = self.dir("tmp")
        self.env = dict(os.environ)
        for key in ("XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "NOTMUCH_CONFIG", "MAIL", "MAILDIR"):
            self.env.pop(key, None)
        self.env.update(
            HOME=self.path, USER=account.name, LOGNAME=account.name, TMPDIR=self.tmp,
            XDG_DATA_HOME=self.dir("xdg"), LANG="C.UTF-8", LC_ALL="C.UTF-8",
            PATH=self.env.get("PATH", "") + ":" + SYSTEM_PATH)

    def dir(self, path):
        """A folder inside the workspace (relative to it, or absolute), made
        with every folder above it that is missing, all owned by the account."""
        path = os.path.join(self.path, path)
        missing = []
        at = path
        while not os.path.isdir(at):
            missing.append(at)
            at = os.path.dirname(at)
        for folder in reversed(missing):
            os.mkdir(folder)
            self.account.own(folder)
        return path

    def write(self, path, content):
        path = os.path.join(self.path, path)
        self.dir(os.path.dirname(path))
        with open(path, "wb" if isinstance(content, bytes) else "w") as f:
            f.write(content)
        self.account.own(path)
        return path

    def run(self, argv, check=True, timeout=RUN_LIMIT, **kwargs):
        done = subprocess.run(self.account.argv(argv), stdin=subprocess.DEVNULL, capture_output=True,
                              env=self.env, cwd=self.path, timeout=timeout, **kwargs)
        if check and done.returncode != 0:
            raise AssertionError(f"{' '.join(argv)} exited with {done.returncode}:\n"
                                 f"{_text(done.stdout)}{_text(done.stderr)}")
        return done

    def popen(self, argv, **kwargs):
        """A server of the test's own: in a session of its own, so that it and
        what it starts stop together, and told to stop should the test die
        (CTest's timeout) rather than outlive it."""
        return subprocess.Popen(self.account.argv(argv, stop_with_parent=True),
                                stdin=subprocess.DEVNULL, env=self.env, cwd=self.path,
                                start_new_session=True, preexec_fn=_stop_with_parent, **kwargs)

    def remove(self):
        if os.environ.get("SONVERA_KEEP_TEST_FILES"):
            print(f"kept {self.path}", file=sys.stderr)
            return
        shutil.rmtree(self.path, ignore_errors=True)


def _text(data):
    return data.decode(errors="replace") if isinstance(data, bytes) else (data or "")


class Maildir:
    """Looks at a Maildir++ tree as it is on disk."""

    INFO = ":2,"

    def __init__(self, root):
        self.root = root

    def folder_path(self, folder):
        return self.root if folder in ("", "Inbox", "INBOX") else os.path.join(self.root, "." + folder)

    def files(self, folder):
        """Paths of the messages of a folder (new/ and cur/)."""
        path = self.folder_path(folder)
        found = []
        for sub in ("new", "cur"):
            with contextlib.suppress(FileNotFoundError):
                found += [os.path.join(path, sub, n) for n in sorted(os.listdir(os.path.join(path, sub)))
                          if not n.startswith(".")]
        return found

    def all_files(self):
        found = list(self.files(""))
        for name in sorted(os.listdir(self.root)):
            if name.startswith(".") and name not in (".", "..") and os.path.isdir(
                    os.path.join(self.root, name, "cur")):
                found += self.files(name[1:])
        return found

    @staticmethod
    def identity(path):
        """A message's id in mailhost: its file's unique name without the
        additions (",U=" of mbsync, ",S=" and ",W=" of Dovecot) that other
        programs make to it."""
        unique = os.path.basename(path).split(Maildir.INFO)[0]
        return re.sub(r",[USW]=[^,]*", "", unique)

    def only(self, folder, what):
        files = self.files(folder)
        if len(files) != 1:
            raise AssertionError(f"{what}: {folder} should hold one mail, it holds {len(files)}: "
                                 f"{[os.path.basename(f) for f in files]}")
        return files[0]


def parse(raw):
    return email.message_from_bytes(raw, policy=email.policy.default)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def crlf(raw):
    """A message as IMAP serves it: every line ending CRLF."""
    return re.sub(rb"\r?\n", b"\r\n", raw)


def attachments(message):
    """{file name: decoded bytes} of a parsed message's attachments."""
    return {part.get_filename(): part.get_payload(decode=True)
            for part in message.iter_attachments() if part.get_filename()}


def is_mp3(data):
    return len(data) > 4 and (data[:3] == b"ID3" or (data[0] == 0xFF and data[1] & 0xE0 == 0xE0))


class Mailhost:
    """The mailhost under test, as the account can run it."""

    def __init__(self, workspace):
        self.workspace = workspace
        binary, addin = os.environ.get("MAILHOST"), os.environ.get("ADDIN")
        library = os.environ.get("PLATFORM_LIBRARY")
        if not binary or not addin or not library:
            raise unittest.SkipTest(
                "MAILHOST, ADDIN and PLATFORM_LIBRARY name what is tested (CTest sets them)")
        account = workspace.account
        if not all(account.can_read(path) for path in (binary, addin, library)):
            # The build lies where the test user cannot reach: a copy of its own.
            copy = workspace.dir("bin")
            shutil.copy2(binary, copy)
            shutil.copytree(os.path.dirname(addin), os.path.join(copy, "addin"))
            shutil.copy2(library, workspace.dir("bin/lib"))
            for folder, _, names in os.walk(copy):
                account.own(folder)
                for name in names:
                    account.own(os.path.join(folder, name))
            binary = os.path.join(copy, os.path.basename(binary))
            addin = os.path.join(copy, "addin", os.path.basename(addin))
            workspace.env["LD_LIBRARY_PATH"] = os.path.join(copy, "lib")
        self.binary, self.addin = binary, addin
        self.scripts = 0

    def script(self, maildir, lines):
        """Plays a scenario on the Maildir with the add-in started; its output."""
        self.scripts += 1
        path = self.workspace.write(f"scripts/run{self.scripts}.scn", "\n".join(
            ["registry set Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp AQ sz 1",
             "start"] + list(lines) + ["quit", ""]))
        done = self.workspace.run([self.binary, "--script", path, "--maildir", maildir,
                                   "--addin", self.addin], check=False)
        if done.returncode != 0:
            raise AssertionError(f"mailhost --script --maildir exited with {done.returncode} on\n"
                                 + read(path).decode() + "\nprinted:\n"
                                 + _text(done.stdout) + _text(done.stderr))
        return _text(done.stdout)

    @contextlib.contextmanager
    def running(self, maildir):
        page = RunningMailhost(self, maildir)
        try:
            yield page
        except BaseException:
            page.stop()
            print("mailhost --web printed:", *page.lines, sep="\n", file=sys.stderr)
            raise
        page.stop()
        if page.process.returncode != 0:
            raise AssertionError(f"mailhost --web ended with {page.process.returncode} on quit:\n"
                                 + "\n".join(page.lines))


class RunningMailhost:
    """mailhost --web on a free port, reached as a script reaches it."""

    def __init__(self, mailhost, maildir):
        self.workspace = mailhost.workspace
        data = self.workspace.dir("page-data")
        self.process = self.workspace.popen(
            [mailhost.binary, "--web", "0", "--data", data, "--maildir", maildir],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.lines = []
        started = threading.Event()

        def drain():
            for raw in self.process.stdout:
                self.lines.append(raw.decode(errors="replace").rstrip("\n"))
                if self.lines[-1].startswith("page "):
                    started.set()
            started.set()

        self.reader = threading.Thread(target=drain, daemon=True)
        self.reader.start()
        try:
            if not started.wait(SETTLE) or not any(l.startswith("page ") for l in self.lines):
                raise AssertionError("mailhost --web printed no address:\n" + "\n".join(self.lines))
            address = next(l for l in self.lines if l.startswith("page "))[len("page "):]
            parts = urllib.parse.urlsplit(address)
            self.base = f"{parts.scheme}://{parts.netloc}"
            self.token = urllib.parse.parse_qs(parts.query)["token"][0]
            # The address is printed before the host has started and shown its folders.
            wait_until(lambda: "folders" in self.state(), "mailhost --web showing its folders")
        except BaseException:
            self.stop()
            raise

    def _call(self, path, body=None):
        request = urllib.request.Request(self.base + path, data=body,
                                         headers={"Authorization": "Bearer " + self.token})
        try:
            with urllib.request.urlopen(request, timeout=SETTLE) as answer:
                return answer.status, json.loads(answer.read() or b"null")
        except urllib.error.HTTPError as e:
            return e.code, json.loads(e.read() or b"null")

    def state(self):
        status, state = self._call("/state")
        if status != 200:
            raise AssertionError(f"GET /state: {status} {state}")
        return state

    def folders(self):
        return self.state()["folders"]

    def rows(self, folder):
        """The rows the page lists for a folder, or None when there is no such folder."""
        query = urllib.parse.urlencode({"name": folder, "offset": 0, "limit": 500})
        status, answer = self._call("/folder?" + query)
        return answer["items"] if status == 200 else None

    def command(self, line):
        return self._call("/command", line.encode())

    def stop(self):
        if self.process.poll() is None:
            with contextlib.suppress(Exception):
                self.command("quit")
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.process.wait(SETTLE)
        stop_process(self.process)
        self.reader.join(5)
        self.process.stdout.close()


class Dovecot:
    """Dovecot IMAP over one Maildir, on a free loopback port, from a config
    under the test's folder."""

    def __init__(self, workspace, maildir, name="dovecot"):
        self.workspace = workspace
        self.maildir = maildir
        self.binary = tool("dovecot")
        self.dir = workspace.dir(name)
        self.log = os.path.join(self.dir, "dovecot.log")
        self.process = None
        self.port = None

    def _config(self, port):
        account = self.workspace.account
        users = self.workspace.write(
            os.path.join(self.dir, "users"),
            f"{IMAP_USER}:{{PLAIN}}{IMAP_PASSWORD}:{account.uid}:{account.gid}::"
            f"{self.workspace.path}::userdb_mail=maildir:{self.maildir}\n")
        for sub in ("run", "state"):
            self.workspace.dir(os.path.join(self.dir, sub))
        group = grp.getgrgid(account.gid).gr_name
        return self.workspace.write(os.path.join(self.dir, "dovecot.conf"), f"""\
protocols = imap
listen = 127.0.0.1
base_dir = {self.dir}/run
state_dir = {self.dir}/state
log_path = {self.log}
info_log_path = {self.log}
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
default_internal_user = {account.name}
default_internal_group = {group}
default_login_user = {account.name}
first_valid_uid = {account.uid}
last_valid_uid = 0
mail_location = maildir:{self.maildir}
namespace inbox {{
  inbox = yes
  separator = /
}}
passdb {{
  driver = passwd-file
  args = {users}
}}
userdb {{
  driver = passwd-file
  args = {users}
}}
service imap-login {{
  chroot =
  inet_listener imap {{
    address = 127.0.0.1
    port = {port}
  }}
}}
service anvil {{
  chroot =
}}
service stats {{
  unix_listener stats-reader {{
    user = {account.name}
  }}
  unix_listener stats-writer {{
    user = {account.name}
  }}
}}
""")

    def start(self):
        for _ in range(3):
            port = free_port()
            config = self._config(port)
            self.process = self.workspace.popen([self.binary, "-F", "-c", config],
                                                stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
            deadline = time.monotonic() + SETTLE
            while self.process.poll() is None and not port_open(port) and time.monotonic() < deadline:
                time.sleep(0.05)
            if self.process.poll() is None and port_open(port):
                self.port = port
                return self
            self.stop()
            if "in use" not in self.log_text():
                break  # a failure of its own, not a port taken meanwhile
        raise AssertionError("Dovecot did not start:\n" + self.log_text())

    def stop(self):
        if self.process:
            stop_process(self.process)
            self.process = None

    def log_text(self):
        with contextlib.suppress(FileNotFoundError), open(self.log, errors="replace") as f:
            return f.read()
        return ""

    @contextlib.contextmanager
    def imap(self):
        connection = imaplib.IMAP4("127.0.0.1", self.port, timeout=SETTLE)
        try:
            ok(connection.login(IMAP_USER, IMAP_PASSWORD), "LOGIN")
            yield connection
        finally:
            with contextlib.suppress(Exception):
                connection.logout()


def ok(answer, what):
    status, data = answer
    if status != "OK":
        raise AssertionError(f"IMAP {what}: {status} {data}")
    return data


def imap_messages(connection, folder):
    """{uid: size, flags, structure (the raw BODYSTRUCTURE answer), body} of
    every message in folder, read without setting \\Seen."""
    ok(connection.select(imap_quoted(folder), readonly=True), f"SELECT {folder}")
    messages = {}
    for uid in ok(connection.uid("SEARCH", None, "ALL"), f"SEARCH in {folder}")[0].split():
        data = ok(connection.uid("FETCH", uid, "(RFC822.SIZE FLAGS BODYSTRUCTURE)"), "FETCH")
        head = b"".join(p if isinstance(p, bytes) else p[0] + p[1] for p in data if p)
        data = ok(connection.uid("FETCH", uid, "(BODY.PEEK[])"), "FETCH BODY[]")
        size = re.search(rb"RFC822\.SIZE (\d+)", head)
        flags = re.search(rb"FLAGS \(([^)]*)\)", head)
        messages[int(uid)] = {
            "size": int(size.group(1)) if size else None,
            "flags": flags.group(1).decode().split() if flags else [],
            "structure": head,
            "body": next(p[1] for p in data if isinstance(p, tuple)),
        }
    return messages


def imap_count(connection, folder):
    """Messages in folder not flagged deleted."""
    ok(connection.select(imap_quoted(folder), readonly=True), f"SELECT {folder}")
    found = ok(connection.uid("SEARCH", None, "UNDELETED"), f"SEARCH in {folder}")
    return len(found[0].split())


class Mbsync:
    """mbsync between a Dovecot's IMAP and a local Maildir++ tree, every folder
    both ways, with deletions propagated and expunged."""

    def __init__(self, workspace, dovecot, maildir):
        self.workspace = workspace
        self.binary = tool("mbsync")
        self.config = workspace.write("mbsyncrc", f"""\
IMAPAccount server
Host 127.0.0.1
Port {dovecot.port}
User {IMAP_USER}
Pass {IMAP_PASSWORD}
SSLType None
AuthMechs LOGIN

IMAPStore remote
Account server

MaildirStore local
Inbox {maildir}
SubFolders Maildir++

Channel everything
Far :remote:
Near :local:
Patterns *
Create Both
Remove Both
Expunge Both
SyncState *
""")

    def sync(self):
        return self.workspace.run([self.binary, "-c", self.config, "-a"])


class Notmuch:
    def __init__(self, workspace, maildir):
        self.workspace = workspace
        self.binary = tool("notmuch")
        self.config = workspace.write("notmuch-config", f"""\
[database]
path={maildir}
[user]
name=Tester
primary_email={IMAP_USER}@example.org
[new]
tags=unread;inbox;
[maildir]
synchronize_flags=true
""")
        workspace.env["NOTMUCH_CONFIG"] = self.config

    def run(self, *args):
        done = self.workspace.run([self.binary] + list(args))
        return done.stdout, _text(done.stderr)


class ToolTest(unittest.TestCase):
    """A test with a workspace of its own, its account and its mailhost."""

    def setUp(self):
        self.account = Account()
        self.workspace = Workspace(self.account, type(self).__name__.lower())
        self.addCleanup(self.workspace.remove)
        self.mailhost = Mailhost(self.workspace)

    def dovecot(self, maildir, name="dovecot"):
        server = Dovecot(self.workspace, maildir, name).start()
        self.addCleanup(server.stop)
        return server

    def fixture(self, name, content):
        return self.workspace.write(os.path.join("files", name), content)

    def tone_mp3(self, name, seconds):
        """A short MP3 of a tone, as a person's own file to attach."""
        sox, lame = tool("sox"), tool("lame")
        wav = os.path.join(self.workspace.dir("files"), name + ".wav")
        mp3 = os.path.join(self.workspace.dir("files"), name)
        subprocess.run([sox, "-n", "-r", "22050", "-c", "1", wav, "synth", str(seconds), "sine", "440"],
                       check=True, capture_output=True)
        subprocess.run([lame, "--quiet", wav, mp3], check=True, capture_output=True)
        self.account.own(mp3)
        return mp3


    def write_corpus(self, maildir):
        """The mail a person leaves in mailhost's Maildir: a voice draft as
        recorded (nothing typed), a German draft with a recording and a file of
        a non-ASCII name, and a voice mail sent. Returns the size mailhost shows
        for each window's recording."""
        name, text = GERMAN_FILE
        attached = self.fixture(name, text)
        out = self.mailhost.script(maildir, record("w1") + ["show-mail w1"] + record("w2") + [
            "to w2 " + quoted(GERMAN_TO), "subject w2 " + quoted(GERMAN_SUBJECT),
            "body w2 " + " ".join(quoted(line) for line in GERMAN_BODY),
            "attach w2 " + quoted(attached), "show-mail w2"] + record("w3") + [
            "to w3 anna@example.org", "subject w3 " + quoted("Voice note"), "send w3",
            "show-mail w3"])
        disk = Maildir(maildir)
        self.assertEqual((len(disk.files("Drafts")), len(disk.files("Sent"))), (2, 1),
                         "the drafts and the Sent copy mailhost wrote into the Maildir")
        sizes = dict(re.findall(r"^mail (w\d): attachments\(Sonvera\.mp3 (\d+)", out, re.M))
        self.assertEqual(sorted(sizes), ["w1", "w2", "w3"], "each window's recording:\n" + out)
        return {window: int(size) for window, size in sizes.items()}


def main():
    """Runs the tests of the calling module; every one skipped is CTest's skip."""
    program = unittest.main(module="__main__", exit=False, verbosity=2)
    result = program.result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.testsRun and len(result.skipped) == result.testsRun:
        for _, reason in result.skipped:
            print("skipped:", reason, file=sys.stderr)
        sys.exit(SKIPPED)
    sys.exit(0)
