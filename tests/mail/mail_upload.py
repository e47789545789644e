#!/usr/bin/env python3
"""Mail upload end to end against a real Dovecot (dovecot.py), read back with Python's imaplib: the
folder tree (modified UTF-7, non-ASCII names), each message's bytes, INTERNALDATE and \\Seen, refusals
named; runs killed at the upload record's writes and started again leave every message on the server
exactly once, and a run after a finished upload appends nothing; an untrusted certificate, a wrong
password and an open password file are refused with one line; the same kills on a server without UIDPLUS
leave no duplicate either. The upload window (stowline-upload-probe)
keeps its password in a private keyring, secret-tool reads it back, and the command line without a
terminal uploads with it; without a keyring it stops with one line. Usage: mail_upload.py BIN_DIR
"""
import base64, collections, glob, imaplib, os, re, shutil, stat, subprocess, sys, tempfile, time  # noqa: E401

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "backup"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import dbxgen as g  # noqa: E402
from dovecot import Dovecot, USER, PASSWORD  # noqa: E402
from fault_runs import Profile  # noqa: E402
from keyring import Keyring  # noqa: E402

MAIN, ZOE = "Main Identity", "Zoë Ångström"
TARGET = ["Alte Post", "Übernahme 2026"]
FAILED = []


def check(label, problems):
    print("%-48s %s" % (label, "FAILED" if problems else "ok"), *("    " + p for p in problems), sep="\n")
    if problems:
        FAILED.append(label)


def message(number, read=True, text=None, **kw):
    return g.Message(text or g.sample_message(number, **kw), number, b"Note %d" % number, b"S", b"s@example.org",
                     1_050_000_000 + number * 3607, read)


def stores():
    """{folder path below the target: ([messages], Folders.dbx rows, store name)} per identity."""
    inbox = [message(1, body_bytes=100), message(2, read=False, body_bytes=3000),
             message(3, attachment=bytes(range(256)) * 2000), message(4, read=False, subject="Grüße ✓".encode()),
             message(5, text=b"From: a@example.org\nSubject: bare line ends\nMessage-ID: <lf@x>\n\none\ntwo\r\nthree\n"),
             message(6, text=b"Subject: no NUL please\r\n\r\nbefore\0after\r\n")]
    sent = [message(n, read=n % 3 != 0, body_bytes=400) for n in range(40, 160)]
    family = [message(n, body_bytes=700) for n in range(20, 24)]
    main = {"Inbox.dbx": inbox, "Sent Items.dbx": sent, "Family.dbx": family}
    main_folders = [(0, -1, "root", ""), (1, 0, "Local Folders", ""), (2, 1, "Inbox", "Inbox.dbx"),
                    (3, 2, "Family", "Family.dbx"), (4, 1, "Sent Items", "Sent Items.dbx"), (5, 1, "Leer", "")]
    zoe = {"Entwürfe.dbx": [message(90, read=False)]}
    zoe_folders = [(0, -1, "r", ""), (1, 0, "Entwürfe & Co/2003", "Entwürfe.dbx")]
    expected = {(MAIN, "Local Folders", "Inbox"): [m for m in inbox if m.index != 6],
                (MAIN, "Local Folders", "Inbox", "Family"): family, (MAIN, "Local Folders", "Sent Items"): sent,
                (MAIN, "Local Folders", "Leer"): [], (ZOE, "Entwürfe & Co_2003"): zoe["Entwürfe.dbx"]}
    return {MAIN: (main_folders, main), ZOE: (zoe_folders, zoe)}, expected


def write_identity(store_dir, folders, stores_):
    for old in glob.glob(os.path.join(store_dir, "*.dbx")):
        os.unlink(old)
    g.write_folders(os.path.join(store_dir, "Folders.dbx"), folders)
    for name, listed in stores_.items():
        g.write_store(os.path.join(store_dir, name), name[:-4], listed)


# ---- reading the server back ------------------------------------------------------------------

def mutf7_decode(name):
    return re.sub(r"&([^-]*)-", lambda m: "&" if not m.group(1) else base64.b64decode(
        m.group(1).replace(",", "/") + "=" * (-len(m.group(1)) % 4)).decode("utf-16-be"), name)


def server_folders(box):
    _, lines = box.list()
    return {mutf7_decode(re.match(rb'\(.*?\) "(.)" "?(.*?)"?$', l).group(2).decode()) for l in lines}


def server_messages(box, folder):
    """[(bytes, internaldate as unix time, seen)] of a folder; None when there is no such folder."""
    status, _ = box.select('"%s"' % folder.replace("\\", "\\\\").replace('"', '\\"'), readonly=True)
    if status != "OK":
        return None
    _, data = box.uid("FETCH", "1:*", "(FLAGS INTERNALDATE BODY.PEEK[])")
    result = []
    for item in data:
        if isinstance(item, tuple):
            meta = item[0].decode()
            when = time.mktime(imaplib.Internaldate2tuple(item[0]))
            result.append((item[1], int(when), "\\Seen" in meta))
    return result


def wire(text):
    return re.sub(rb"(?<!\r)\n", b"\r\n", text)


def check_server(dovecot, label, expected, extra=(), target=TARGET):
    box = dovecot.client()
    problems = []
    try:
        folders = server_folders(box)
        for path, messages in expected.items():
            name = "/".join(target + list(path))
            if name not in folders:
                problems.append("folder %r missing (server has %r)" % (name, sorted(folders)))
                continue
            got = server_messages(box, encode_mutf7(name))
            want = [(wire(m.text), m.when, m.read) for m in messages]
            if sorted(got) != sorted(want):
                counts = collections.Counter(g[0] for g in got)
                problems.append("%s: %d messages (%d expected), %d twice, %d with wrong bytes, date or flag" % (
                    name, len(got), len(want), sum(c > 1 for c in counts.values()), len(set(got) ^ set(want))))
    finally:
        box.logout()
    check(label, problems + list(extra))


def encode_mutf7(name):
    out, pending = "", ""
    for c in name + "\0":
        if c != "\0" and 0x20 <= ord(c) <= 0x7e:
            if pending:
                out += "&" + base64.b64encode(pending.encode("utf-16-be")).decode().rstrip("=").replace("/", ",") + "-"
                pending = ""
            out += "&-" if c == "&" else c
        elif c != "\0":
            pending += c
    if pending:
        out += "&" + base64.b64encode(pending.encode("utf-16-be")).decode().rstrip("=").replace("/", ",") + "-"
    return out


# ---- the runs ---------------------------------------------------------------------------------

def upload(profile, dovecot, archive, *extra, scheme="imaps", password_file=None, fault=None, ca=True):
    port = dovecot.imaps if scheme == "imaps" else dovecot.imap
    address = "%s://%s@127.0.0.1:%d/%s" % (scheme, USER, port, "/".join(TARGET))
    args = ["--upload-mail", address, "--password-file", password_file or profile.password_file]
    args += ["--ca-file", dovecot.cert] if ca else []
    return profile.run("stowline", args + list(extra) + [archive], fault)


def check_refusals(profile, dovecot, archive):
    problems = []
    code, err = upload(profile, dovecot, archive, ca=False)
    if code != 1 or len(err.strip().splitlines()) != 1 or "certificate" not in err:
        problems.append("untrusted certificate: exit %d, %r" % (code, err))
    wrong = os.path.join(profile.root, "wrong")
    open(wrong, "w").write("not the password\n")
    os.chmod(wrong, 0o600)
    code, err = upload(profile, dovecot, archive, password_file=wrong)
    if code != 1 or len(err.strip().splitlines()) != 1 or USER not in err or PASSWORD in err:
        problems.append("wrong password: exit %d, %r" % (code, err))
    os.chmod(profile.password_file, 0o644)
    code, err = upload(profile, dovecot, archive)
    os.chmod(profile.password_file, 0o600)
    if code != 1 or "chmod 600" not in err:
        problems.append("password file open to others: exit %d, %r" % (code, err))
    if os.path.exists(dovecot.maildir) and server_folders_count(dovecot) > 1:
        problems.append("a refused run left folders")
    check("certificate, password and password file refused", problems)


def server_folders_count(dovecot):
    box = dovecot.client()
    try:
        return len(server_folders(box))
    finally:
        box.logout()


def resume_after_kills(profile, dovecot, archive):
    """Killed at the record's 3rd and 40th write (right after the first sending was written down, and with
    appends confirmed by the server but not yet in the record), then run to the end through STARTTLS."""
    problems = []
    for point in ("write:3:KILL", "write:40:KILL"):
        code, err = upload(profile, dovecot, archive, fault=point)
        problems += [] if code == -9 else ["%s: exit %d, %s" % (point, code, err)]
        dovecot.wait_for_sessions_to_end()
    code, err = upload(profile, dovecot, archive, scheme="imap")
    refused = re.findall(r"(?m)^stowline: .*Inbox: .*6: .*NUL.*$", err)
    return problems + ([] if code == 3 and len(refused) == 1 else ["resumed run: exit %d, %r" % (code, err)])


def check_kept_password(profile, dovecot, archive, expected, work):
    """The window keeps the password it was given; the command line, with no terminal to ask on, uses it."""
    env = dict(profile.env)
    # The window is given the host as a person may type it, the command line as another may.
    server, by_window, by_command = "LocalHost:%d" % dovecot.imaps, ["Vom Fenster"], ["Aus dem Schlüsselbund"]
    problems = []
    with Keyring(os.path.join(work, "keyring")) as keyring:
        env.update(keyring.env)
        # A password the server refuses is never kept.
        subprocess.run([profile.tool("stowline-upload-probe"), archive, server, USER, by_window[0], dovecot.cert],
                       env=env, input="mistyped\n", capture_output=True, text=True, timeout=120)
        kept = keyring.lookup(user="imap:%s@%s" % (USER, server.lower()), server="Stowline")
        problems += [] if not kept else ["a refused password was kept: %r" % kept]
        probe = subprocess.run([profile.tool("stowline-upload-probe"), archive, server, USER, by_window[0],
                                dovecot.cert], env=env, input=PASSWORD + "\n", capture_output=True, text=True,
                               timeout=120)
        problems += [] if probe.returncode == 0 else ["window: exit %d, %s" % (probe.returncode, probe.stderr)]
        kept = keyring.lookup(user="imap:%s@%s" % (USER, server.lower()), server="Stowline")
        problems += [] if kept == PASSWORD else ["secret-tool read %r from the keyring" % kept]
        code, err = upload_without_terminal(env, profile, dovecot, archive, by_command)
        problems += [] if code == 3 else ["command line with the kept password: exit %d, %r" % (code, err)]
    with Keyring(os.path.join(work, "no-keyring"), "absent") as keyring:
        code, err = upload_without_terminal(dict(env, **keyring.env), profile, dovecot, archive, by_command)
        problems += [] if code == 1 and len(err.strip().splitlines()) == 1 else [
            "no keyring, no terminal: exit %d, %r" % (code, err)]
    check_server(dovecot, "window's upload", expected, target=by_window)
    check_server(dovecot, "password kept in the keyring, used again", expected, problems, target=by_command)


def upload_without_terminal(env, profile, dovecot, archive, target):
    """No --password-file, and a session of its own: there is no terminal to ask on."""
    address = "imaps://%s@localhost:%d/%s" % (USER, dovecot.imaps, "/".join(target))
    done = subprocess.run([profile.tool("stowline"), "--upload-mail", address, "--ca-file", dovecot.cert, archive],
                          env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120,
                          start_new_session=True)
    return done.returncode, done.stderr


def main():
    work = tempfile.mkdtemp(prefix="stowline-upload-")
    dovecot = None
    try:
        profile = Profile(os.path.abspath(sys.argv[1]), os.path.join(work, "root"))
        profile.password_file = os.path.join(profile.root, "imap-password")
        with open(profile.password_file, "w") as f:
            f.write(PASSWORD + "\n")
        os.chmod(profile.password_file, 0o600)
        mail_dir = os.path.join(profile.root, "home", "Mail")
        identities, expected = stores()
        for (name, (folders, stores_)), folder in zip(identities.items(), ("Main Identity", "Zoë")):
            write_identity(os.path.join(mail_dir, folder), folders, stores_)
        shutil.rmtree(os.path.join(mail_dir, "Zoë", "Brouillons"), ignore_errors=True)
        write_identity(os.path.join(mail_dir, "Work"), [(0, -1, "r", "")], {})
        code, err = profile.backup()
        archives = glob.glob(os.path.join(profile.backups, "*.stw"))
        if code != 0 or len(archives) != 1:
            check("stowline /S", ["exit %d, archives %r: %s" % (code, archives, err)])
            return 1
        dovecot = Dovecot(os.path.join(work, "dovecot"))
        check_refusals(profile, dovecot, archives[0])
        check_server(dovecot, "after two kills and a STARTTLS run", expected,
                     resume_after_kills(profile, dovecot, archives[0]))
        record = glob.glob(os.path.join(profile.env.get("XDG_STATE_HOME", os.path.join(profile.env["HOME"], ".local", "state")),
                                        "stowline", "upload-*.log"))
        again = [] if len(record) == 1 and stat.S_IMODE(os.stat(record[0]).st_mode) == 0o600 else ["record %r" % record]
        code, _ = upload(profile, dovecot, archives[0])
        again += [] if code == 3 else ["second run: exit %d" % code]
        check_server(dovecot, "a second run appends nothing", expected, again)
        check_kept_password(profile, dovecot, archives[0], expected, work)
        # A server without UIDPLUS confirms no UID: what a killed run sent is found again by its headers.
        box = dovecot.client()
        without_uidplus = [c for c in box.capability()[1][0].decode().split() if c != "UIDPLUS"]
        box.logout()
        dovecot.stop()
        dovecot = Dovecot(os.path.join(work, "dovecot-no-uidplus"), "imap_capability = " + " ".join(without_uidplus))
        profile.env["XDG_STATE_HOME"] = os.path.join(work, "state-no-uidplus")
        problems = resume_after_kills(profile, dovecot, archives[0])
        code, _ = upload(profile, dovecot, archives[0])
        check_server(dovecot, "without UIDPLUS: two kills, a resumed and a second run", expected,
                     problems + ([] if code == 3 else ["second run: exit %d" % code]))
    finally:
        if dovecot:
            dovecot.stop()
        if not os.environ.get("KEEP"):
            shutil.rmtree(work, ignore_errors=True)
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
