#!/usr/bin/env python3
"""Full-text search end to end: messages in the encodings and charsets of old mail planted in
generated stores, backed up by `stowline /S`, found by `stowline --find-mail` and exported with
--query; every planted message is also decoded by Python's email package, whose reading the index
must agree with. Usage: mail_search.py BIN_DIR
"""
import base64, contextlib, datetime, email, email.header, mailbox, os, re, shutil, signal, sqlite3, stat, struct, subprocess, sys, \
    tempfile, time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "backup"))
import dbxgen as g  # noqa: E402
from fault_runs import Profile  # noqa: E402
from mail_export import check, write_identity, FAILED  # noqa: E402

MAIN, ZOE, WORK = "Main Identity", "Zoë Ångström", "Work, Ltd."
ZOE_ID = "{8C1D5E72-0A94-4F3B-B6E1-2D7C9A4F5E10}"
KOI8R_CODEPAGE = 20866


def planted(number, year, headers, body, sender=b"Anna Schmidt", address=b"anna@example.de"):
    text = (b"From: " + sender + b" <" + address + b">\r\nTo: Bob <bob@example.org>\r\n"
            b"Date: Thu, 1 May %d 10:00:00 +0000\r\nMIME-Version: 1.0\r\n" % year + headers + b"\r\n" + body)
    when = int(datetime.datetime(year, 5, 1, 10, tzinfo=datetime.timezone.utc).timestamp())
    return g.Message(text, number, b"", sender, address, when)


def multipart(text_headers, text, name, data):
    return (b'Content-Type: multipart/mixed; boundary="b"\r\n', b"--b\r\n" + text_headers + b"\r\n" + text +
            b"\r\n--b\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
            b'Content-Disposition: attachment; filename="' + name + b'"\r\n\r\n' +
            base64.encodebytes(data).replace(b"\n", b"\r\n") + b"--b--\r\n")


def main_messages():
    contract = multipart(b"Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                         b"Der Vertrags=\r\nentwurf f=FCr Herrn M=FCller liegt bei.\r\n", b"Vertrag_2003.pdf", b"%PDF-1.4 x")
    return {
        "Inbox.dbx": [
            planted(1, 2003, b"Subject: Entwurf\r\n" + contract[0], contract[1]),
            planted(2, 2004, b"Subject: =?windows-1252?Q?Caf=E9_cr=E8me_=96_Men=FC?=\r\nContent-Type: text/plain; "
                    b"charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n",
                    base64.encodebytes("Treffen auf Zanzibar, Ölförderung besprechen.\r\n".encode()),
                    sender=b"=?windows-1252?Q?J=FCrgen_K=F6hler?=", address=b"jk@example.de"),
            planted(3, 2005, "Subject: Grüße aus Köln\r\nContent-Type: text/plain\r\n".encode("cp1252"),
                    "Die Straße ist gesperrt.\r\n".encode("cp1252"))],
        "Archive.dbx": [
            planted(4, 2006, b"Subject: =?koi8-r?B?" + base64.b64encode("Привет из Москвы".encode("koi8-r")) +
                    b"?=\r\nContent-Type: text/plain; charset=koi8-r\r\nContent-Transfer-Encoding: 8bit\r\n",
                    "Самовар на столе.\r\n".encode("koi8-r")),
            planted(5, 2007, b'Subject: Tokyo\r\nContent-Type: multipart/alternative; boundary="a"\r\n',
                    b"--a\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n\r\n" + "会議 東京 明日\r\n".encode("iso-2022-jp") +
                    b"--a\r\nContent-Type: text/html; charset=windows-1252\r\n\r\n"
                    b"<p>Bahnhof <b>Stra&szlig;enbahn</b> Caf\xe9</p>\r\n--a--\r\n")]}


def zoe_messages():
    return [planted(6, 2008, "Subject: Отчёт за март\r\nContent-Type: text/plain\r\n".encode("koi8-r"),
                    "Бухгалтерия просит подпись.\r\n".encode("koi8-r"), sender=b"Olga", address=b"olga@example.ru")]


def work_messages(store_dir):
    """One message whose text breaks off after its first block: indexed as far as it reads."""
    long_body = b"shipwreck " + b"filler text " * 200 + b"lighthouse\r\n"
    message = planted(7, 2009, b"Subject: Wreck\r\nContent-Type: text/plain\r\n", long_body)
    chains = g.write_store(os.path.join(store_dir, "Inbox.dbx"), "Inbox", [message])
    with open(os.path.join(store_dir, "Inbox.dbx"), "r+b") as f:
        f.seek(chains[0][1] + 12)
        f.write(struct.pack("<I", 0x7FFFFFF0))
    return [message]


def list_backwards(store):
    """Turns a one-node index around, so that the store lists its messages against the order they lie in."""
    with open(store, "r+b") as f:
        f.seek(0xE4)
        root = struct.unpack("<I", f.read(4))[0]
        f.seek(root + 0x11)
        count = f.read(1)[0]
        f.seek(root + 0x18)
        entries = [f.read(12) for _ in range(count)]
        f.seek(root + 0x18)
        f.write(b"".join(reversed(entries)))


def python_reading(message, charset):
    """(subject, the longest word of its text) as Python's email package decodes the message; 8-bit
    text that declares no charset is read in the identity's."""
    parsed = email.message_from_bytes(message.text)
    subject = "".join(text.decode(code if code not in (None, "unknown-8bit") else charset)
                      if isinstance(text, bytes) else text for text, code in email.header.decode_header(parsed["subject"]))
    part = next(p for p in parsed.walk() if p.get_content_type() == "text/plain")
    body = part.get_payload(decode=True).decode(part.get_content_charset() or charset)
    return subject, max(re.findall(r"\w+", body), key=len)


def find(profile, query, *source):
    code, out, err = run(profile, ["--find-mail", query] + list(source))
    return code, [line.split("\t") for line in out.splitlines()], err


def run(profile, args):
    env = dict(profile.env)
    done = subprocess.run([profile.tool("stowline")] + args, env=env, capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


def subjects(rows):
    return sorted(row[4] for row in rows)


def check_queries(profile, archive, messages):
    problems = []
    cases = [("muller", ["Entwurf"]), ('"vertragsentwurf für"', ["Entwurf"]), ("attachment:vertrag_2003.pdf", ["Entwurf"]),
             ("subject:cafe from:jurgen", ["Café crème – Menü"]), ("zanzibar olforderung", ["Café crème – Menü"]),
             ("koln gesperrt", ["Grüße aus Köln"]), ("subject:москвы самовар", ["Привет из Москвы"]),
             ("東京", ["Tokyo"]), ("straßenbahn cafe", ["Tokyo"]), ('бухгалтерия identity:"%s"' % ZOE, ["Отчёт за март"]), ("shipwreck", ["Wreck"]),
             ("to:bob after:2006 before:2008", ["Tokyo", "Привет из Москвы"]),
             ("folder:Archive/2003", ["Tokyo", "Привет из Москвы"]), ("from:anna -muller", ["Grüße aus Köln", "Привет из Москвы", "Tokyo", "Wreck"])]
    for query, want in cases:
        code, rows, err = find(profile, query, archive)
        if code != 0 or subjects(rows) != sorted(want):
            problems.append("%r: exit %d, found %r, expected %r %s" % (query, code, subjects(rows), want, err.strip()))
    for message, charset in messages:  # the index reads every message as Python's email package does
        subject, word = python_reading(message, charset)
        code, rows, _ = find(profile, 'subject:"%s" %s' % (subject, word), archive)
        if subjects(rows) != [subject]:
            problems.append("Python reads %r with %r; the index finds %r" % (subject, word, subjects(rows)))
    code, rows, _ = find(profile, "to:bob", archive)
    dates = [row[0] for row in rows]
    if code != 0 or len(rows) != 7 or dates != sorted(dates, reverse=True) or rows[0][:3] != \
            ["2009-05-01T10:00:00Z", WORK, "Inbox"] or any(len(row) != 5 for row in rows):
        problems.append("listing: exit %d, %r" % (code, rows))
    for query, status in (("lighthouse", 1), ("nowhere", 1), ("before:soon", 2), ('"open', 2), ("colour:red", 2)):
        code, rows, _ = find(profile, query, archive)
        if code != status:
            problems.append("%r: exit %d (%d expected)" % (query, code, status))
    code, _, _ = find(profile, "muller", archive + ".missing")
    if code != 2:
        problems.append("a missing archive: exit %d" % code)
    code, rows, _ = find(profile, "бухгалтерия")  # the live profile, read through its registry
    if code != 0 or subjects(rows) != ["Отчёт за март"]:
        problems.append("live profile: exit %d, %r" % (code, rows))
    check("--find-mail", problems)


def check_cache(profile, archive):
    problems = []
    cache = os.path.join(profile.root, "xdg-cache", "stowline")
    indexes = [os.path.join(cache, n) for n in os.listdir(cache) if n.endswith(".index")]
    if len(indexes) != 2 or any(stat.S_IMODE(os.stat(p).st_mode) != 0o600 for p in indexes):
        problems.append("index files %r (the archive's and the profile's) not private" % indexes)
    _, _, err = find(profile, "muller", archive)
    if "Indexing" in err or "1 messages could be indexed only in part" in err:
        problems.append("the index was built again for an unchanged archive: %r" % err)
    lone = os.path.join(profile.root, "lone")  # a built index is searched without the program with windows
    os.makedirs(lone)
    shutil.copy(profile.tool("stowline"), lone)
    for query, source, want in (("muller", [archive], "Entwurf"), ("бухгалтерия", [], "Отчёт за март")):
        done = subprocess.run([os.path.join(lone, "stowline"), "--find-mail", query] + source, env=profile.env,
                              capture_output=True, text=True, timeout=60)
        if done.returncode != 0 or want not in done.stdout:
            problems.append("%s searched by stowline alone: exit %d, %r %r" % (query, done.returncode, done.stdout, done.stderr))
    os.utime(archive, (1_300_000_000, 1_300_000_000))
    code, rows, err = find(profile, "muller", archive)
    if "Indexing" not in err or code != 0:
        problems.append("a changed archive kept its old index: %r" % err)
    after = {n for n in os.listdir(cache) if n.endswith(".index")}
    if len(after) != 2 or after == {os.path.basename(p) for p in indexes}:
        problems.append("the outdated index was left or the new one not made: %r" % os.listdir(cache))
    check("the index in the cache", problems)


def check_export_query(profile, archive, work):
    out = os.path.join(work, "out")
    code, _, err = run(profile, ["--export-mail", out, "--query", "to:bob before:2006", archive])
    got = sorted(email.message_from_bytes(m)["date"] for path in glob_all(out, ".mbox") for m in mbox_bytes(path))
    problems = [] if code == 0 and [d.split()[3] for d in got] == ["2003", "2004", "2005"] else \
        ["exit %d, exported %r: %s" % (code, got, err)]
    written = [os.path.relpath(os.path.join(top, n), out) for top, folders, files in os.walk(out) for n in folders + files]
    empty = [p for p in written if os.path.isdir(os.path.join(out, p)) and not glob_all(os.path.join(out, p), "")]
    if empty or "bookmarks.html" in written or any(p.startswith((ZOE, WORK)) for p in written):
        problems.append("written besides the matches: %r" % written)
    code, _, _ = run(profile, ["--export-mail", out + "2", "--query", "after:", archive])
    if code != 2:
        problems.append("a bad query: exit %d" % code)
    check("--export-mail --query", problems)


def start_find(profile, query):
    return subprocess.Popen([profile.tool("stowline"), "--find-mail", query], env=profile.env, text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def messages_committed(cache, known):
    """Waits until a new index in the cache holds messages, its build half-way: no event says so."""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        for name in set(os.listdir(cache)) - known:
            if name.endswith(".index"):
                with contextlib.closing(sqlite3.connect("file:%s?mode=ro" % os.path.join(cache, name), uri=True)) as db:
                    with contextlib.suppress(sqlite3.Error):
                        if db.execute("SELECT count(*) FROM messages").fetchone()[0] > 0:
                            return True
        time.sleep(0.01)
    return False


def check_builds_at_once(profile, store_dir, count=6000):
    """A search that finds the index being built by another waits for it and builds nothing; a build
    killed half-way is taken up again by the next search."""
    g.write_store(os.path.join(store_dir, "Bulk.dbx"), "Bulk", [
        planted(100 + n, 2010, b"Subject: Bulk %d\r\n" % n, b"kelpforest " + b" ".join(b"w%x" % ((n * 7919 + i * 104729) % 60000) for i in range(400))) for n in range(count)])
    problems = []
    first = start_find(profile, "kelpforest")
    said = first.stderr.readline()  # it holds the index alone now
    os.kill(first.pid, signal.SIGSTOP)
    second = start_find(profile, "kelpforest")
    waited = second.stderr.readline()
    os.kill(first.pid, signal.SIGCONT)
    answers = [(p.returncode, out, err) for p in (first, second) for out, err in [p.communicate(timeout=120)]]
    if "Indexing" not in said or "waiting" not in waited or "Indexing" in answers[1][2] or answers[0][1] != answers[1][1] \
            or any(code != 0 or len(out.splitlines()) != count for code, out, _ in answers):
        problems.append("two builds at once: %r, %r, then %r" % (said, waited, [(c, len(o.splitlines()), e) for c, o, e in answers]))
    os.utime(os.path.join(store_dir, "Bulk.dbx"), (1_300_000_000, 1_300_000_000))
    cache = os.path.join(profile.root, "xdg-cache", "stowline")
    known = set(os.listdir(cache))
    killed = start_find(profile, "kelpforest")
    if not messages_committed(cache, known):
        problems.append("no messages were seen coming into the index")
    killed.kill()
    killed.communicate()
    code, rows, err = find(profile, "kelpforest")
    if code != 0 or len(rows) != count or "Indexing" not in err:
        problems.append("after a killed build: exit %d, %d found, %r" % (code, len(rows), err))
    code, rows, err = find(profile, "kelpforest")
    if len(rows) != count or err:
        problems.append("the index built after a killed one was built again: %d found, %r" % (len(rows), err))
    check("builds of one index at once", problems)


def glob_all(folder, suffix):
    return [os.path.join(top, n) for top, _, names in os.walk(folder) for n in names if n.endswith(suffix)]


def mbox_bytes(path):
    box = mailbox.mbox(path, create=False)
    return [box.get_bytes(key) for key in box.keys()]


def main():
    work = tempfile.mkdtemp(prefix="stowline-search-")
    try:
        profile = Profile(os.path.abspath(sys.argv[1]), os.path.join(work, "root"))
        mail_dir = os.path.join(profile.root, "home", "Mail")
        stores = main_messages()
        folders = [(0, -1, "Mail root", ""), (1, 0, "Local Folders", ""), (2, 1, "Inbox", "Inbox.dbx"),
                   (3, 1, "Archive/2003", "Archive.dbx")]
        write_identity(os.path.join(mail_dir, MAIN), folders, {n: (m, []) for n, m in stores.items()})
        list_backwards(os.path.join(mail_dir, MAIN, "Inbox.dbx"))
        shutil.rmtree(os.path.join(mail_dir, "Zoë", "Brouillons"))
        write_identity(os.path.join(mail_dir, "Zoë"), [], {"Inbox.dbx": (zoe_messages(), [])})
        write_identity(os.path.join(mail_dir, "Work"), [], {})
        work_messages(os.path.join(mail_dir, "Work"))
        reg = os.path.join(work, "codepage.reg")
        with open(reg, "w") as f:
            f.write('REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities\\%s\\Software\\Microsoft\\Outlook Express\\5.0\\Mail]'
                    '\r\n"Default_Codepage"=dword:%08x\r\n' % (ZOE_ID, KOI8R_CODEPAGE))
        subprocess.run([profile.tool("stowline-regedit"), "/s", reg], env=profile.env, check=True)
        code, err = profile.backup()
        archives = [os.path.join(profile.backups, n) for n in profile.archives()]
        if code != 0 or len(archives) != 1:
            check("stowline /S", ["exit %d, archives %r: %s" % (code, archives, err)])
            return 1
        check_queries(profile, archives[0], [(m, "cp1252") for ms in stores.values() for m in ms] +
                      [(m, "koi8-r") for m in zoe_messages()])
        check_cache(profile, archives[0])
        check_export_query(profile, archives[0], work)
        check_builds_at_once(profile, os.path.join(mail_dir, "Work"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
