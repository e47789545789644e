#!/usr/bin/env python3
"""Mail export end to end, checked by readers we did not write: generated stores (dbxgen.py) read by
undbx, backed up by `stowline /S` and exported as mbox, Maildir and .eml, damaged, recovered; the
Favorites as bookmarks.html. Usage: mail_export.py BIN_DIR
"""
import glob, html, mailbox, os, re, shutil, struct, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "backup"))
import dbxgen as g  # noqa: E402
from fault_runs import Profile  # noqa: E402

MAIN, WORK = "Main Identity", "Work, Ltd."
FAILED = []
UNREAD = []


def check(label, problems):
    print("%-40s %s" % (label, "FAILED" if problems else "ok"), *("    " + p for p in problems), sep="\n")
    if problems:
        FAILED.append(label)


def message(number, read=True, **kw):
    return g.Message(g.sample_message(number, **kw), number, b"Note %d" % number, b"Sender %d" % number,
                     b"sender%d@example.org" % number, 1_050_000_000 + number * 3600, read)


def from_across_blocks(number):
    """A body whose "From " lines start right before, at and after a block boundary."""
    text = g.sample_message(number, body_bytes=100)
    pad = g.BLOCK_TEXT - len(text) % g.BLOCK_TEXT
    filler = b"x" * max(pad - 4, 0) + b"\r\n"
    return text + filler + b"From the start of a block\r\n>From quoted once\r\n>>From twice\r\nFrom\r\n" \
        + b"Fromage is no From_ line\r\nFrom here too\r\n"


def main_stores():
    """Main Identity: nested folders, every kind of message, one deleted message."""
    inbox = [message(1, body_bytes=100), message(2, body_bytes=3000, read=False),
             message(3, body_bytes=2000, attachment=bytes(range(256)) * 12_000),  # about 4 MB
             message(4, subject=b"Caf\xe9 cr\xe8me br\xfbl\xe9e"),
             message(5, subject="Grüße aus Köln ✓".encode(), extra_headers="X-Name: Zoë\r\n".encode()),
             message(6, body_bytes=900, attachment=b"PK\x03\x04" + bytes(5000))]
    inbox.append(g.Message(from_across_blocks(7), 7, b"From lines", b"F", b"f@example.org", 1_060_000_000))
    family = [message(n, body_bytes=n * 700) for n in range(20, 24)]
    photos = [message(30, body_bytes=600, attachment=bytes(200_000))]
    sent = [message(n, body_bytes=300) for n in range(40, 100)]  # two levels, a node of 0x33 entries
    deleted = [message(99_001, body_bytes=1500, subject=b"Deleted but still there")]
    folders = [(0, -1, "Mail root", ""), (1, 0, "Local Folders", ""), (2, 1, "Inbox", "Inbox.dbx"),
               (3, 2, "Family", "Family.dbx"), (4, 3, "Photos", "Photos.dbx"), (5, 1, "Sent Items", "Sent Items.dbx"),
               (6, 1, "Archive/2003", "Archive.dbx"), (7, 1, "Empty", "")]
    stores = {"Inbox.dbx": (inbox, deleted), "Family.dbx": (family, []), "Photos.dbx": (photos, []),
              "Sent Items.dbx": (sent, []), "Archive.dbx": ([message(50)], [])}
    paths = {"Inbox.dbx": "Local Folders/Inbox", "Family.dbx": "Local Folders/Inbox/Family",
             "Photos.dbx": "Local Folders/Inbox/Family/Photos", "Sent Items.dbx": "Local Folders/Sent Items",
             "Archive.dbx": "Local Folders/Archive_2003"}
    return folders, stores, {os.path.join(MAIN, paths[name]): ([m.text for m in stores[name][0]], set()) for name in paths}


def write_identity(store_dir, folders, stores):
    for old in glob.glob(os.path.join(store_dir, "*.dbx")):
        os.unlink(old)
    if folders:
        g.write_folders(os.path.join(store_dir, "Folders.dbx"), folders)
    for name, (listed, deleted) in stores.items():
        g.write_store(os.path.join(store_dir, name), name[:-4], listed, deleted)


def damage_work(store_dir):
    """Work: no folder list, a broken, a looping and an overfull chain, a cut-off store, a damaged index.
    Returns {identity/folder: (messages that must come out, indexes that must be reported)}."""
    inbox = [message(n, body_bytes=1600) for n in range(1, 7)]
    index = [message(n, body_bytes=100) for n in range(1, 121)]
    cut = [message(n, body_bytes=1000) for n in range(1, 11)]
    chains = {name: g.write_store(os.path.join(store_dir, name), name[:-4], listed)
              for name, listed in (("Inbox.dbx", inbox), ("Index.dbx", index), ("Cut.dbx", cut))}
    with open(os.path.join(store_dir, "Folders.dbx"), "wb") as f:
        f.write(b"not a folder list")
    broken, looping = chains["Inbox.dbx"][1], chains["Inbox.dbx"][3]
    with open(os.path.join(store_dir, "Inbox.dbx"), "r+b") as f:
        f.seek(broken[1] + 12)
        f.write(struct.pack("<I", 0x7FFFFFF0))  # leaves the file
        f.seek(looping[-1] + 12)
        f.write(struct.pack("<I", looping[0]))  # back to its first block
        f.seek(chains["Inbox.dbx"][5][0] + 8)
        f.write(struct.pack("<I", 0x400))  # more text than a block holds
    path = os.path.join(store_dir, "Index.dbx")
    with open(path, "r+b") as f:
        data = f.read(g.HEADER_SIZE + g.MESSAGE_INFO_SIZE + 4 * g.NODE)
        root, = struct.unpack_from("<I", data, 0xE4)
        first_child, = struct.unpack_from("<I", data, root + 8)
        f.seek(first_child)
        f.write(b"\xde\xad\xbe\xef")  # a node that is not what the tree says
        f.seek(root + 0x18 + 4)
        f.write(struct.pack("<I", root))  # a subtree that is the tree again
    with open(os.path.join(store_dir, "Cut.dbx"), "r+b") as f:
        f.truncate(chains["Cut.dbx"][6][1] + 40)
    return {WORK + "/Inbox": ([m.text for m in inbox if m.index not in (2, 4, 6)], {2, 4, 6}),
            WORK + "/Cut": ([m.text for m in cut[:6]], {7})}


# ---- reading what was written ------------------------------------------------------------------

def unquote(data):
    return re.sub(rb"(?m)^>(>*From )", rb"\1", data)


def mbox_messages(path):
    box = mailbox.mbox(path, create=False)
    return [unquote(box.get_bytes(key)) for key in box.keys()]


def as_written(fmt, texts):
    """Messages as the format holds them: in an mbox a message without a final line end gets one."""
    if fmt != "mbox" or texts is None:
        return texts
    return [text if text.endswith(b"\n") else text + b"\n" for text in texts]


def folder_messages(identity_dir, relative, fmt):
    base = os.path.join(identity_dir, relative)
    if fmt == "mbox":
        return mbox_messages(base + ".mbox") if os.path.exists(base + ".mbox") else None
    if fmt == "maildir":
        if not os.path.isdir(os.path.join(base, "cur")):
            return None
        box = mailbox.Maildir(base, factory=None, create=False)
        return sorted(box.get_bytes(key) for key in box.keys())
    if not os.path.isdir(base):
        return None
    return [open(p, "rb").read() for p in sorted(glob.glob(os.path.join(base, "*.eml")))]


def maildir_unread(identity_dir, relative):
    box = mailbox.Maildir(os.path.join(identity_dir, relative), create=False)
    return sorted(box.get_bytes(key) for key in box.keys() if "S" not in box.get_message(key).get_flags())


def undbx_messages(store, recover=False):
    out = tempfile.mkdtemp()
    try:
        subprocess.run(["undbx", "-v", "0"] + (["-r"] if recover else []) + [store, out], check=True,
                       capture_output=True)
        return sorted(open(p, "rb").read() for p in glob.glob(os.path.join(out, "**", "*.eml"), recursive=True))
    finally:
        shutil.rmtree(out)


def check_bookmarks(path, favorites_dir):
    expected = set()
    for top, _, files in os.walk(favorites_dir):
        for name in files:
            url = re.search(r"(?m)^URL=(.*?)\r?$", open(os.path.join(top, name), encoding="utf-8").read()).group(1)
            relative = os.path.relpath(top, favorites_dir)
            expected.add(("" if relative == "." else relative, name[:-4], url))
    text = open(path, encoding="utf-8").read()
    problems = [] if text.startswith("<!DOCTYPE NETSCAPE-Bookmark-file-1>") else ["doctype"]
    # <DT><H3> names the folder whose <DL> follows; <DT><A HREF> is a link of the innermost open one.
    lists, heading, links = [], None, set()
    for tag in re.finditer(r'(?is)<(/?)dl>|<h3[^>]*>(.*?)</h3>|<a href="([^"]*)"[^>]*>(.*?)</a>', text):
        closing, folder, href, title = tag.groups()
        if folder is not None:
            heading = html.unescape(folder)
        elif href is not None:
            links.add(("/".join(lists[1:]), html.unescape(title), html.unescape(href)))
        elif closing:
            problems += [] if lists and lists.pop() is not None else ["a list closed twice"]
        else:
            problems += [] if heading is not None or not lists else ["a list without its folder heading"]
            lists.append(heading if lists else "")
            heading = None
    if links != expected or lists:
        problems.append("links %r, expected %r" % (sorted(links), sorted(expected)))
    check("bookmarks.html", problems)


# ---- the checks -------------------------------------------------------------------------------

def compare(label, got, want, ordered):
    if got is None:
        return ["%s: missing" % label]
    if not ordered:
        got, want = sorted(got), sorted(want)
    if got != want:
        return ["%s: %d messages, %d expected, first difference at %s" % (
            label, len(got), len(want), next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), "end"))]
    return []


def check_generator(profile_root, main_stores_, deleted):
    problems = []
    main_dir = os.path.join(profile_root, "home", "Mail", MAIN)
    for name, (listed, _) in main_stores_.items():
        if undbx_messages(os.path.join(main_dir, name)) != sorted(m.text for m in listed):
            problems.append("undbx reads %s differently" % name)
    inbox = os.path.join(main_dir, "Inbox.dbx")
    if deleted.text not in undbx_messages(inbox, recover=True):
        problems.append("undbx --recover does not find the deleted message")
    check("generated stores read by undbx", problems)


def run_export(profile, out, *args):
    return profile.run("stowline", ["--export-mail", out] + list(args))


def check_export(profile, archive, out, fmt, expected):
    code, err = run_export(profile, out, "--format", fmt, archive)
    problems = [] if code == 3 else ["exit status %d (3 expected): %s" % (code, err)]
    for relative, (want, reported) in expected.items():  # undbx reads the stores as put in: check_generator
        problems += compare("%s %s" % (fmt, relative), folder_messages(out, relative, fmt), as_written(fmt, want),
                            fmt != "maildir")
        pattern = re.escape(relative).replace("/", ": ") + r": \D*%d\b"  # "identity: folder: ... number"
        problems += ["%s message %d is not reported" % (relative, i) for i in reported if not re.search(pattern % i, err)]
    if not os.path.isdir(os.path.join(out, MAIN, "Local Folders", "Empty")):
        problems.append("the folder without a store is missing")
    if os.path.exists(os.path.join(out, MAIN, "Recovered")):
        problems.append("deleted mail exported without --recover")
    work_dir = os.path.join(out, WORK)
    index_got = folder_messages(work_dir, "Index", fmt) or []
    every_index = set(as_written(fmt, [g.sample_message(n, body_bytes=100) for n in range(1, 121)]))
    if not index_got or not set(index_got) <= every_index or len(set(index_got)) != len(index_got) \
            or len(index_got) == 120 or "%s: Index" % WORK not in err:
        problems.append("damaged index: %d messages, problem %sreported" % (
            len(index_got), "" if "%s: Index" % WORK in err else "not "))
    inbox = os.path.join(MAIN, "Local Folders/Inbox")
    if fmt == "maildir" and maildir_unread(out, inbox) != sorted(m.text for m in UNREAD):
        problems.append("Maildir read flags: %d unread, %d expected" % (len(maildir_unread(out, inbox)), len(UNREAD)))
    if fmt == "mbox":
        check_bookmarks(os.path.join(out, "bookmarks.html"), os.path.join(profile.root, "home", "Favorites"))
    check("export of the archive as %s" % fmt, problems)


def check_recover(profile, archive, out, expected, deleted):
    code, err = run_export(profile, out, "--recover", archive)
    recovered = glob.glob(os.path.join(out, MAIN, "Recovered", "*.mbox"))
    got = [m for path in recovered for m in mbox_messages(path)]
    problems = [] if code == 3 else ["exit status %d" % code]
    problems += compare("recovered from %s" % recovered, got, as_written("mbox", [deleted.text]), True)
    inbox = os.path.join(MAIN, "Local Folders/Inbox")
    problems += compare("Inbox after --recover", folder_messages(out, inbox, "mbox"),
                        as_written("mbox", expected[inbox][0]), True)
    check("--recover", problems)


def check_live_and_bad_input(profile, out, expected):
    code, err = run_export(profile, out, "--format", "eml")
    family = os.path.join(MAIN, "Local Folders/Inbox/Family")
    problems = [] if code == 3 else ["live profile: exit status %d: %s" % (code, err)]
    problems += compare("live profile", folder_messages(out, family, "eml"), expected[family][0], True)
    bogus = os.path.join(profile.root, "bogus.stw")
    open(bogus, "wb").write(b"no zip at all")
    code, err = run_export(profile, out + "-bogus", bogus)
    if code != 1 or "bogus.stw" not in err:
        problems.append("not an archive: exit %d, %r" % (code, err))
    code, _ = run_export(profile, out + "-x", "--format", "pst", bogus)
    if code != 64:
        problems.append("unknown format: exit %d" % code)
    check("live profile and bad input", problems)


def main():
    work = tempfile.mkdtemp(prefix="stowline-mail-")
    try:
        profile = Profile(os.path.abspath(sys.argv[1]), os.path.join(work, "root"))
        mail_dir = os.path.join(profile.root, "home", "Mail")
        folders, stores, expected = main_stores()
        deleted = stores["Inbox.dbx"][1][0]
        UNREAD.extend(m for m in stores["Inbox.dbx"][0] if not m.read)
        with open(os.path.join(profile.root, "home", "Favorites", "Search & <more>.url"), "w", encoding="utf-8") as f:
            f.write('[InternetShortcut]\r\nURL=https://example.org/find?q="M\u00fcller"&copy=1&lt=<b>\r\n')
        write_identity(os.path.join(mail_dir, MAIN), folders, stores)
        write_identity(os.path.join(mail_dir, "Zoë"), [(0, -1, "r", ""), (1, 0, "Entwürfe", "Entwürfe.dbx")],
                       {"Entwürfe.dbx": ([message(1)], [])})
        shutil.rmtree(os.path.join(mail_dir, "Zoë", "Brouillons"))
        write_identity(os.path.join(mail_dir, "Work"), [], {})  # the sample's stores out of the way
        expected.update(damage_work(os.path.join(mail_dir, "Work")))
        check_generator(profile.root, stores, deleted)
        code, err = profile.backup()
        archives = glob.glob(os.path.join(profile.backups, "*.stw"))
        if code != 0 or len(archives) != 1:
            check("stowline /S", ["exit %d, archives %r: %s" % (code, archives, err)])
            return 1
        for fmt in ("mbox", "maildir", "eml"):
            check_export(profile, archives[0], os.path.join(work, "out-" + fmt), fmt, expected)
        check_recover(profile, archives[0], os.path.join(work, "out-recover"), expected, deleted)
        check_live_and_bad_input(profile, os.path.join(work, "out-live"), expected)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
