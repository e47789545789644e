#!/usr/bin/env python3
"""Builds hostile backup archives (zipfile plus byte surgery) and restores each one with
stowline-restore-probe into a fresh sample profile. For every case it checks: the probe ends by
itself with the expected exit status, its messages name the culprit, peak memory and CPU time stay
under their limits, the workspace is gone, and nothing changed in the files or the registry outside
the folders and keys the restore was meant to touch.

    hostile_archives.py BIN_DIR [--long | --rollback]
"""
import argparse, hashlib, io, os, re, shutil, stat, struct, subprocess, sys, tempfile, threading, warnings, zipfile, zlib

warnings.filterwarnings("ignore", "Duplicate name")

ID = "{5D0C0DE5-1234-4ABC-9DEF-0123456789AB}"
STORE = ID + "/ident_data.zip"
SAMPLE_ID = "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"
MEMORY_LIMIT_MIB = 128
# Limits on CPU time, not wall time: a loaded machine stretches the wall clock, not the work a case
# makes (a gibibyte bomb takes 2 s of it). The wall clock only ends a probe that hangs.
CPU_LIMIT_SECONDS = 10
HANG_SECONDS = 300
GIB = 1 << 30

# Folders (below the sandbox root) and registry keys a full restore of the base archive may change.
TARGET_FOLDERS = ("home/restored-store", "home/Address Book", "home/Favorites", "home/picked")
TARGET_KEYS = ("HKEY_CURRENT_USER\\Identities\\" + ID, "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4",
               "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager",
               "HKEY_CURRENT_USER\\Software\\Velmora")
TARGET_VALUES_KEY = "HKEY_CURRENT_USER\\Identities"  # "Last Username" and friends are rewritten
# Every run appends its record to the ledger, making the folders on the way.
LEDGER = ("root/home/.local", "root/home/.local/state", "root/home/.local/state/stowline",
          "root/home/.local/state/stowline/runs.jsonl")
UNDO = "root/home/.local/state/stowline/last-restore"


# ---- building zips ---------------------------------------------------------------------------------

def zip_bytes(members, comment=b"", compression=zipfile.ZIP_DEFLATED, inner=zipfile.ZIP_STORED):
    """members: (name or ZipInfo, bytes) pairs, written as they come (duplicates too); inner zips
    stored, as Stowline writes them, unless inner says otherwise."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", compression) as z:
        for name, data in members:
            inner_zip = isinstance(name, str) and name.endswith(".zip")
            z.writestr(name, data, compress_type=inner if inner_zip else None)
        z.comment = comment
    return out.getvalue()


def link_entry(name, target):
    info = zipfile.ZipInfo(name)
    info.create_system = 3
    info.external_attr = (stat.S_IFLNK | 0o777) << 16
    return info, target.encode()


def reg(body):
    return ("REGEDIT4\r\n\r\n" + body).encode()


def identity_reg(root, extra="", identity=ID, name="Probe Identity", store="restored-store"):
    key = "[HKEY_CURRENT_USER\\Identities\\" + identity
    return reg(key + "]\r\n\"Username\"=\"" + name + "\"\r\n\r\n" + key +
               "\\Software\\Microsoft\\Outlook Express\\5.0]\r\n\"Store Root\"=\"" + root +
               "/home/" + store + "\"\r\n\r\n" + extra)


def wab_reg(root, extra=""):
    key = "[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4"
    return reg(key + "]\r\n\r\n" + key + "\\Wab File Name]\r\n@=\"" + root +
               "/home/Address Book/Main Identity.wab\"\r\n\r\n" + extra)


def archive(root, store=None, favorites=None, wab=None, ident_reg=None, wab_key=None, index=None,
            extra=(), comment=b"111", replace=None, inner=zipfile.ZIP_STORED):
    """The base backup of one identity, Favorites and an address book; any part can be swapped."""
    store = store if store is not None else [("Inbox.dbx", b"mail " * 100), ("News/a.dbx", b"news")]
    favorites = favorites if favorites is not None else [("Links/new.url", b"[InternetShortcut]\r\n")]
    wab = wab if wab is not None else [("Main Identity.wab", b"wab" * 50)]
    members = [
        ("stowline_version.txt", b"1,0,375\r\n"),
        ("windows_version.txt", b"5,1,2\r\n"),
        ("ident.idx", index if index is not None else ('"Probe Identity","' + ID + '"\r\n').encode()),
        (ID + "/ident_key.reg", ident_reg if ident_reg is not None else identity_reg(root)),
        (ID + "/ident_data.zip", zip_bytes(store)),
        ("ief/ief_data.zip", zip_bytes(favorites)),
        ("wab/wab_key.reg", wab_key if wab_key is not None else wab_reg(root)),
        ("wab/wab_data.zip", zip_bytes(wab)),
    ]
    if replace:
        members = [(n, replace.get(n, d)) for n, d in members]
    return zip_bytes(members + list(extra), comment)


def bomb_zip(name, size=GIB):
    """size bytes of zeros in about a thousandth of that: one fully flushed deflate block of 1 MiB of
    zeros stands on its own, so it is repeated instead of compressing a gibibyte each time."""
    piece = bytes(1 << 20)
    deflater = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = deflater.compress(piece) + deflater.flush(zlib.Z_FULL_FLUSH)
    ending = zlib.compressobj(9, zlib.DEFLATED, -15).flush(zlib.Z_FINISH)
    crc = 0
    for _ in range(size >> 20):
        crc = zlib.crc32(piece, crc)
    data = block * (size >> 20) + ending
    encoded = name.encode()
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x21, crc, len(data), size, len(encoded), 0)
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x21, crc, len(data), size,
                          len(encoded), 0, 0, 0, 0, 0, 0)
    directory = central + encoded
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(directory), len(local) + len(encoded) + len(data), 0)
    return local + encoded + data + directory + end


# ---- byte surgery ----------------------------------------------------------------------------------

def central_of(data, name):
    at = data.find(b"PK\x01\x02")
    while at >= 0:
        length = struct.unpack_from("<H", data, at + 28)[0]
        if data[at + 46:at + 46 + length] == name.encode():
            return at
        at = data.find(b"PK\x01\x02", at + 4)
    raise KeyError(name)


def local_of(data, name):
    return struct.unpack_from("<I", data, central_of(data, name) + 42)[0]


def patch(data, at, fmt, *values):
    data = bytearray(data)
    struct.pack_into(fmt, data, at, *values)
    return bytes(data)


def eocd(data):
    return data.rfind(b"PK\x05\x06")


# Where a field lies in a member's central and local header, and its format.
FIELDS = {"flags": (8, 6, "<H"), "method": (10, 8, "<H"), "crc": (16, 14, "<I"), "size": (24, 22, "<I")}


def set_field(data, name, field, value):
    """The field changed alike in the member's central and local header."""
    central_at, local_at, fmt = FIELDS[field]
    data = patch(data, central_of(data, name) + central_at, fmt, value)
    return patch(data, local_of(data, name) + local_at, fmt, value)


def overlap(data, first, second):
    return patch(data, central_of(data, second) + 42, "<I", local_of(data, first))


def damaged_store(root, field, value):
    """The base archive whose store zip has the field of its member Sent.dbx changed."""
    store = zip_bytes([("Inbox.dbx", b"mail " * 100), ("Sent.dbx", b"sent" * 40)])
    return archive(root, replace={STORE: set_field(store, "Sent.dbx", field, value)})


# ---- the cases ---------------------------------------------------------------------------------------
# Each: name, builder(root) -> archive bytes, expected exit statuses, texts stderr must hold, options.
# "~" in a text stands for the sandbox root. Exit statuses: 0 restored, 1 failure shown in the crash
# window, 2 refused or nothing restored, 3 not opened.
# Options: absent, texts stderr must not hold; files, {path below the root: bytes} made before the run;
# plant, (path below the root, target) of a symbolic link made before the run; env, more environment for
# the probe ("~" the root); unchanged, nothing at all may change, targets included; long, cpu_seconds, memory_mib.
CASES = []
DEFAULTS = dict(absent=(), files={}, plant=None, env={}, unchanged=False, long=False, cpu_seconds=CPU_LIMIT_SECONDS,
                memory_mib=MEMORY_LIMIT_MIB)


def case(name, build, statuses, texts=(), **options):
    CASES.append(dict(DEFAULTS, name=name, build=build, statuses=statuses, texts=texts, **options))


OUTSIDE = "The backup holds a file that would be written outside the restore folder: "
LINK = "The backup holds a symbolic link, which is never unpacked: "
CONTROL = "The backup holds a file whose name has control characters: "
DAMAGED = "A file of it is missing or damaged in the backup: "
FOREIGN_KEY = "Its registry file in the backup changes a key that does not belong to it: "
BAD_ID = "Its identity ID in the backup is not a valid identity ID: "
HIDDEN = "The backup holds a hidden file, which is never unpacked: "
STOPPED = "Everything this restore had changed was put back as it was."
# A refused item's whole message; the probe shows a line break as a blank.
REFUSED = "message: Restore refused: Stowline did not restore "
IDENTITY = "the Outlook Express identity: Probe Identity  "
KEPT = "  Nothing of this item was changed."

case("clean base archive", lambda r: archive(r), {0}, ["Restoring: Done!"])
# Read through the workspace: inner zips compressed again cannot be read where they lie.
case("inner zips deflated in the archive", lambda r: archive(r, inner=zipfile.ZIP_DEFLATED), {0}, ["Restoring: Done!"])

# Member names of the outer archive and of each inner zip.
TRAVERSALS = [("dot-dot", "../../../../evil.txt"), ("absolute", "/tmp/stowline-hostile-evil.txt"),
              ("drive", "C:/evil.txt"), ("drive-relative", "C:evil.txt"),
              ("backslash dot-dot", "..\\..\\..\\evil.txt"), ("inner dot-dot", "a/../../../../evil.txt"),
              ("UNC", "\\\\server\\share\\evil.txt")]
for label, bad in TRAVERSALS:
    case("outer " + label, lambda r, bad=bad: archive(r, extra=[(bad, b"x")]), {2},
         [REFUSED + "the backup: ", ".stw  " + OUTSIDE + bad + "  Nothing was restored."])
# An item refused whole: with only that item in the archive, nothing at all changes. The outer cases
# hold every kind of name; here each item's own zip is read with the same check.
ITEMS = {"store": (b"100", IDENTITY), "favorites": (b"010", "the Internet Explorer Favorites.  "),
         "wab": (b"001", "the Windows Address Book.  ")}
for where, bad in (("store", "../../../../evil.txt"), ("store", "C:evil.txt"), ("favorites", "Links\\..\\..\\x.url"),
                   ("favorites", "/tmp/stowline-hostile-fav.url"), ("wab", "../../evil.wab")):
    comment, shown = ITEMS[where]
    case(where + " " + bad, lambda r, where=where, bad=bad, comment=comment: archive(
        r, **{where: [("Inbox.dbx", b"m"), (bad, b"x")]}, comment=comment), {2}, [REFUSED + shown + OUTSIDE + bad + KEPT],
         unchanged=True)
case("store member that is no zip", lambda r: archive(r, replace={STORE: b"z" * 3000}, comment=b"100"),
     {2}, ["message: Damaged backup: This backup is damaged; what is damaged cannot be restored:  Check failed: ",
           "/ident_data.zip is not a sound zip archive.  Nothing of it can be restored, and nothing was changed."],
     unchanged=True)
case("first local header broken", lambda r: b"PK\x07\x07" + archive(r)[4:], {2},
     [REFUSED + "the backup: ", ".stw  " + DAMAGED, ".stw  Nothing was restored."], unchanged=True)

for label, where in (("outer", "extra"), ("store", "store"), ("favorites", "favorites"), ("address book", "wab")):
    case(label + " symbolic link entry", lambda r, where=where: archive(
        r, **{where: [("ok.txt", b"ok"), link_entry("evil-link", "/etc/passwd")]}), {2}, [LINK + "evil-link"])
case("store link to a folder, then a file through it",
     lambda r: archive(r, store=[link_entry("d", "/tmp"), ("d/stowline-hostile-through.txt", b"x")]), {2},
     [LINK + "d"])
for label, raw in (("escape", "ev\x1b[2Jil.txt"), ("newline", "evil\n.txt"), ("DEL", "evil\x7f.txt")):
    shown = raw.replace("\x1b", "\\x1b").replace("\n", "\\x0a").replace("\x7f", "\\x7f")
    case("outer control character " + label, lambda r, raw=raw: archive(r, extra=[(raw, b"x")]), {2},
         [CONTROL + shown])
case("store control character", lambda r: archive(r, store=[("In\tbox.dbx", b"x")]), {2},
     [CONTROL + "In\\x09box.dbx"])
# zipfile cuts a name at NUL, so the NUL goes in afterwards; libzip reads it as a blank.
case("outer NUL in a name",
     lambda r: archive(r, extra=[("evilQnul.txt", b"x")]).replace(b"evilQnul", b"evil\0nul"), {0})

# Links that already exist in the target: unpacking must not go through them.
# Replacing the Favorites deletes the planted link itself (never what it points to) before unpacking.
case("favorites: planted link in the target", lambda r: archive(r, favorites=[("Links/new.url", b"x")]), {0},
     plant=("home/Favorites/Links", "../../outside"))
case("store: planted link in the target", lambda r: archive(r, store=[("News/a.dbx", b"x")]), {2},
     ["a symbolic link in the target folder lies on its way: News/a.dbx"],
     plant=("home/restored-store/News", "../../outside"))

# A bomb: a gibibyte of zeros in about a mebibyte. Every item's zip goes through the same unpacking.
case("inner zip bomb in the store", lambda r: archive(r, replace={STORE: bomb_zip("Inbox.dbx")}), {0, 1})


# Damaged structures.
case("overlapping entries", lambda r: overlap(archive(r), "stowline_version.txt", "windows_version.txt"),
     {2}, [DAMAGED])
# libzip's consistency check refuses duplicate names, so the item is never unpacked.
case("duplicate member: the later one foreign",
     lambda r: archive(r, extra=[(ID + "/ident_key.reg",
                                 identity_reg(r, "[HKEY_LOCAL_MACHINE\\Software\\Run]\r\n\"x\"=\"y\"\r\n"))]),
     {2}, [DAMAGED])
# Found before the plan; the probe goes on with the intact items.
case("duplicate member in the store", lambda r: archive(r, store=[("Inbox.dbx", b"one"), ("Inbox.dbx", b"two")]),
     {0}, ["ident_data.zip is not a sound zip archive.  Still intact"], absent=["Probe Identity"])
case("central directory outside the file", lambda r: patch(archive(r), eocd(archive(r)) + 16, "<I", 1 << 30),
     {3}, ["does not seem to be a valid Stowline archive"])
# A member no item is restored from is never read.
case("lying size", lambda r: set_field(archive(r), "stowline_version.txt", "size", 5), {0})
case("lying CRC", lambda r: set_field(archive(r), "ident.idx", "crc", 0xDEADBEEF), {2}, ["ident.idx"])
# Cut anywhere, the end record is gone: libzip finds no zip at all.
case("truncated", lambda r: archive(r)[:len(archive(r)) // 2], {2, 3})
# Found before the plan, by reading the chosen members whole: the person may go on with the other
# items (the probe says Yes).
INTACT = "  Still intact, and can be restored: Internet Explorer Favorites, Windows Address Book"
CANNOT_UNPACK = "ident_data.zip: Sent.dbx is encrypted or packed in a way Stowline cannot unpack."
for label, field, value, reason in (
        ("unknown compression method", "method", 97, CANNOT_UNPACK), ("encrypted store member", "flags", 1, CANNOT_UNPACK),
        ("lying CRC in the store", "crc", 0xDEADBEEF, "ident_data.zip: Sent.dbx is damaged: its checksum does not match.")):
    case(label, lambda r, field=field, value=value: damaged_store(r, field, value), {0}, [reason + INTACT],
         absent=["Probe Identity"])
# Peaks near 85 MiB and 7 s of CPU; a copy of the directory for each of four workers, or a heap for each
# thread (132 to 151 MiB), passes 112 MiB.
case("65,535 members", lambda r: archive(r, extra=[("many/%05d" % i, b"") for i in range(65535)]), {0}, long=True,
     cpu_seconds=40, memory_mib=112)

# The comment and the identity index.
case("comment claims items that are absent",
     lambda r: zip_bytes([("stowline_version.txt", b"1,0,375\r\n"), ("ident.idx", b"")], b"111"), {1, 2})
# Without the index the run ends in the crash window, having changed nothing.
case("index missing", lambda r: zip_bytes([("stowline_version.txt", b"1,0,375\r\n")], b"100"), {1}, unchanged=True)
# About 13 s of CPU.
case("index of 10,000 records", lambda r: archive(
    r, index=b"".join(b'"Name %d","{%08d-0000-0000-0000-000000000000}"\r\n' % (i, i) for i in range(10000))),
     {2}, [DAMAGED + "ident_key.reg"], cpu_seconds=40)
for label, bad in (("a path", "../../../../tmp"), ("empty", "")):
    case("index ID that is " + label, lambda r, bad=bad: archive(
        r, index=b'"Evil","%s"\r\n' % bad.encode(), extra=[("ident_key.reg", reg("[-HKEY_CURRENT_USER\\Identities]\r\n"))],
        comment=b"100"), {2}, [REFUSED + 'the Outlook Express identity: Evil  ' + BAD_ID + '"%s"' % bad + KEPT],
         unchanged=True)
case("index record without an ID", lambda r: archive(r, index=b'"Lonely"\r\n'), {2})  # no line to choose
case("index record with an extra field", lambda r: archive(r, index=('"Probe Identity","' + ID + '","x"\r\n').encode()),
     {0})

# Registry members.
AUTOSTART = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
OWN = "HKEY_CURRENT_USER\\Identities\\" + ID
for label, key in (("writes an autostart entry", AUTOSTART), ("deletes all identities", "-HKEY_CURRENT_USER\\Identities"),
                   ("reaches another identity", "HKEY_CURRENT_USER\\Identities\\" + SAMPLE_ID),
                   ("reaches an ID one letter longer", OWN + "x"), ("climbs out of its own", OWN + "\\..\\Other"),
                   ("names its own path in another hive", "HKEY_LOCAL_MACHINE" + OWN[len("HKEY_CURRENT_USER"):])):
    body = "[" + key + "]\r\n" + ("" if key.startswith("-") else "\"x\"=\"y\"\r\n")
    case("identity key " + label, lambda r, body=body: archive(r, ident_reg=identity_reg(r, body), comment=b"100"),
         {2}, [REFUSED + IDENTITY + FOREIGN_KEY + key + KEPT], unchanged=True)
case("address book key writes an autostart entry", lambda r: archive(
    r, wab_key=wab_reg(r, "[" + AUTOSTART + "]\r\n\"evil\"=\"/tmp/x\"\r\n"), comment=b"001"), {2},
     [REFUSED + "the Windows Address Book.  " + FOREIGN_KEY + AUTOSTART + KEPT], unchanged=True)
for label, line in (("unterminated string", '"Username"="never ends'), ("bad hex", '"b"=hex:0g,11'),
                    ("unknown type", '"b"=str(9):"x"'), ("10 MB line", '"b"="' + "x" * 10_000_000 + '" tail')):
    case("identity key " + label, lambda r, line=line: archive(r, ident_reg=identity_reg(r, "[HKEY_CURRENT_USER\\Identities\\" + ID + "]\r\n" + line + "\r\n")),
         {0}, ["ident_key.reg is not a readable registry file: line 10: ", INTACT], absent=["Probe Identity"])


# No member may make a dot file, nor a dot folder on its way.
for dotted in (".bashrc", ".config/autostart/evil.desktop"):
    case("address book with " + dotted, lambda r, dotted=dotted: archive(
        r, wab=[("Main Identity.wab", b"w"), (dotted, b"evil")]), {2}, [HIDDEN + dotted], files={"home/.bashrc": b"mine"})
# The plan shows exactly the keys the run reads, not a deeper key whose path ends the same way.
DECOY = "\\Decoy\\Software\\Microsoft\\Outlook Express\\5.0]\r\n\"Store Root\"=\"/tmp/decoy-store\"\r\n"
case("decoy keys for the plan",
     lambda r: archive(r, ident_reg=identity_reg(r, "[HKEY_CURRENT_USER\\Identities\\" + ID + DECOY),
                       wab_key=wab_reg(r, "[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\X\\Wab File Name]\r\n"
                                          "@=\"/tmp/decoy/x.wab\"\r\n")),
     {0}, ["plan: message store folder: ~/home/restored-store", "plan: folder that receives its files: ~/home/Address Book"],
     absent=["decoy"])
# An address book recorded in another account's home (an account nss_wrapper adds, whose home lies
# outside every system folder) is not written there: the folder picked instead gets it.
def other_account(root):
    return ("root:x:0:0:root:%s/home:/bin/sh\n%s:x:%d:%d:me:%s/home:/bin/sh\nneighbour:x:4242:4242::%s/neighbour:/bin/sh\n"
            % (root, os.environ.get("USER", "me"), os.getuid(), os.getgid(), root, root)).encode()
case("address book recorded in another account's home",
     lambda r: archive(r, wab_key=wab_reg(r).replace(b"/home/Address Book/", b"/neighbour/Address Book/")),
     {0}, ["Stowline cannot restore the Windows Address Book to the location:  ~/neighbour/Address Book/Main Identity.wab",
           "Restoring: Done!"],
     files={"neighbour/mine.txt": b"mine", "passwd": other_account},
     env={"LD_PRELOAD": "libnss_wrapper.so", "NSS_WRAPPER_PASSWD": "~/passwd", "NSS_WRAPPER_GROUP": "/etc/group"})
# A regedit child that fails (a full disk under the registry store) stops the restore, which puts back
# what it had changed.
case("registry import fails", lambda r: archive(r), {2},
     ["Stowline cannot restore the Outlook Express identity: Probe Identity",
      "Its registry settings could not be imported: stowline-regedit ended with exit status 1", STOPPED],
     absent=["Done!"], env={"STOWLINE_FAIL_FILE_CALL": "dbwrite:1:ENOSPC:stowline-regedit"}, unchanged=True)


# ---- the driver --------------------------------------------------------------------------------------

def sandbox(bin_dir, folder):
    out = subprocess.run([os.path.join(bin_dir, "stowline-sample-profile"), folder], check=True,
                         capture_output=True, text=True).stdout
    env = dict(os.environ)
    for line in out.splitlines():
        name, value = line[len("export "):].split("=", 1)
        env[name] = value.strip("'")
    runtime = os.path.join(os.path.dirname(folder), "runtime")  # else Qt makes one in TMPDIR
    os.makedirs(runtime, 0o700)
    env.update(QT_QPA_PLATFORM="offscreen", STOWLINE_BIN_DIR=bin_dir, QT_LOGGING_RULES="*.warning=false",
               XDG_RUNTIME_DIR=runtime)
    os.makedirs(os.path.join(folder, "outside"))
    return env


def below(path, tops, separator):
    return any(path == top or path.startswith(top + separator) for top in tops)


def files_snapshot(case_dir, targets_too=False):
    """Every entry below the case folder outside the targets (or with them): type, mode, content hash."""
    seen = {}
    for top, folders, files in os.walk(case_dir):
        for name in folders + files:
            path = os.path.join(top, name)
            relative = os.path.relpath(path, case_dir)
            if (not targets_too and below(relative, ["root/" + f for f in TARGET_FOLDERS], "/") or relative in LEDGER
                    or relative.startswith("root/registry.db") or below(relative, [UNDO], "/")
                    or relative.startswith(UNDO + ".dropped-")):  # removed by a process of its own, in time
                continue
            info = os.lstat(path)
            if stat.S_ISLNK(info.st_mode):
                seen[relative] = ("link", os.readlink(path))
            elif stat.S_ISDIR(info.st_mode):
                seen[relative] = ("dir", stat.S_IMODE(info.st_mode))
            else:
                with open(path, "rb") as f:
                    seen[relative] = ("file", stat.S_IMODE(info.st_mode), hashlib.file_digest(f, "sha1").hexdigest())
    return seen


def registry_snapshot(bin_dir, env, out_file):
    subprocess.run([os.path.join(bin_dir, "stowline-regedit"), "/e", "/a", out_file], env=env, check=True)
    keys, key = {}, None
    with open(out_file, encoding="utf-8", newline="") as f:  # its lines end in CR LF
        for line in f.read().split("\r\n"):
            if line.startswith("["):
                key = line[1:-1]
                keys[key] = []
            elif line and key:
                keys[key].append(line)
    os.unlink(out_file)
    return keys


def registry_changes(before, after, targets_too=False):
    def lines(keys, key):  # without the values a restore rewrites, unless targets count too
        found = keys.get(key)
        if targets_too or key != TARGET_VALUES_KEY or found is None:
            return found
        return [line for line in found if not line.startswith(('"Last Username"=', '"Last User ID"=', '"Start As"='))]
    targets = [key.lower() for key in TARGET_KEYS]
    return [key for key in sorted(set(before) | set(after))
            if lines(before, key) != lines(after, key) and (targets_too or not below(key.lower(), targets, "\\"))]


def machine_state(bin_dir, env, case_dir, targets_too):
    return files_snapshot(case_dir, targets_too), registry_snapshot(bin_dir, env, os.path.join(case_dir, "state.reg"))


def state_changes(before, after, targets_too, ignored):
    changed = [p for p in sorted(set(before[0]) | set(after[0])) if before[0].get(p) != after[0].get(p) and not ignored(p)]
    return changed + ["registry key " + k for k in registry_changes(before[1], after[1], targets_too)]


def write_files(folder, files):
    """files: {path below folder: bytes, or a function of the folder giving them}."""
    for path, content in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
        with open(os.path.join(folder, path), "wb") as f:
            f.write(content(folder) if callable(content) else content)


def fresh_case(bin_dir, work):
    """The sample profile at work/case, made once and copied back before each case: its registry
    names its own folders, so it always lives at the same path."""
    case_dir, pristine = os.path.join(work, "case"), os.path.join(work, "pristine")
    if not os.path.isdir(pristine):
        fresh_case.env = sandbox(bin_dir, os.path.join(case_dir, "root"))
        shutil.copytree(case_dir, pristine, symlinks=True)
    else:
        while os.path.lexists(case_dir):  # an undo's journal may still be being removed in the background
            shutil.rmtree(case_dir, ignore_errors=True)
        shutil.copytree(pristine, case_dir, symlinks=True)
    return case_dir, fresh_case.env


def run_case(bin_dir, work, hostile):
    case_dir, env = fresh_case(bin_dir, work)
    root = os.path.join(case_dir, "root")
    archive_path = os.path.join(work, "hostile.stw")
    write_files(work, {archive_path: hostile["build"](root)})
    write_files(root, hostile["files"])
    if hostile["plant"]:
        where, target = hostile["plant"]
        shutil.rmtree(os.path.join(root, where), ignore_errors=True)
        os.makedirs(os.path.dirname(os.path.join(root, where)), exist_ok=True)
        os.symlink(target, os.path.join(root, where))
    strict = hostile["unchanged"]
    before = machine_state(bin_dir, env, case_dir, strict)

    process = subprocess.Popen([os.path.join(bin_dir, "stowline-restore-probe"), archive_path],
                               env=dict(env, **{k: v.replace("~", root) for k, v in hostile["env"].items()}),
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    # A probe that hangs is killed: the case then fails on its exit status.
    watchdog = threading.Timer(HANG_SECONDS, process.kill)
    watchdog.start()
    text = process.stderr.read().decode("utf-8", "replace")
    _, status, usage = os.wait4(process.pid, 0)
    watchdog.cancel()
    peaks = re.findall(r"^peak-memory-kib: (\d+)$", text, re.M)
    peak_kib = int(peaks[0]) if peaks else usage.ru_maxrss  # rusage also counts this driver's own peak
    exit_status, cpu_seconds = os.waitstatus_to_exitcode(status), usage.ru_utime + usage.ru_stime

    problems = [] if exit_status in hostile["statuses"] else [
        "exit status %d, expected %s" % (exit_status, sorted(hostile["statuses"]))]
    problems += ["stderr lacks %r" % t for t in hostile["texts"] if t.replace("~", root) not in text]
    problems += ["stderr holds %r" % t for t in hostile["absent"] if t in text]
    if peak_kib > hostile["memory_mib"] * 1024:
        problems.append("peak memory %d KiB" % peak_kib)
    if cpu_seconds > hostile["cpu_seconds"]:
        problems.append("took %.1f s of CPU" % cpu_seconds)
    if os.path.lexists(os.path.join(root, "tmp", "stowline-%d" % os.getuid(), "stowline")):
        problems.append("workspace left behind")
    workspace_parent = "root/tmp/stowline-%d" % os.getuid()
    problems += ["changed outside the targets: " + c for c in state_changes(
        before, machine_state(bin_dir, env, case_dir, strict), strict, lambda p: p == workspace_parent)]
    problems += ["written outside: " + p for p in ("/tmp/stowline-hostile-evil.txt", "/tmp/stowline-hostile-fav.url",
                                                   "/tmp/stowline-hostile-through.txt") if os.path.lexists(p)]
    return exit_status, cpu_seconds, peak_kib, problems, text


# ---- Zip64 for real ------------------------------------------------------------------------------------

def zip64_round_trip(bin_dir, work):
    """The sample profile's main store also holds a sparse 5 GiB file and 70,000 small files: the
    scheduled backup's archive and the store's inner zip (where the Zip64 records are) must pass
    unzip -t and Python's zipfile, and a restore onto the emptied store gives back every file."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "backup"))
    from fault_runs import Profile
    profile = Profile(bin_dir, os.path.join(work, "profile"))
    env = {name: value for name, value in profile.env.items() if name != "DISPLAY"}

    def run(program, *args):  # no time limit of its own: gigabytes take long on a loaded machine
        done = subprocess.run([profile.tool(program), *args], env=env, capture_output=True, text=True, errors="replace")
        return done.returncode, done.stderr

    store = os.path.join(profile.root, "home", "Mail", "Main Identity")
    with open(os.path.join(store, "sparse.bin"), "wb") as f:
        f.truncate(5 << 30)
        f.seek(5 << 29)
        f.write(b"middle")
    write_files(store, {"many/%03d/%05d.txt" % (i // 1000, i): b"file %d\n" % i for i in range(70_000)})
    # Contents only: a restored file may be less open than the one backed up.
    contents = lambda: {path: seen[-1] for path, seen in files_snapshot(store, True).items() if seen[0] == "file"}
    before = contents()
    status, stderr = run("stowline", "/S")
    if status != 0:
        return ["backup failed: exit %d %s" % (status, stderr)]
    archive_path = os.path.join(profile.backups, profile.archives()[0])
    inner = os.path.join(work, "ident_data.zip")
    with zipfile.ZipFile(archive_path) as outer, open(inner, "wb") as target:
        with outer.open(SAMPLE_ID + "/ident_data.zip") as source:
            shutil.copyfileobj(source, target, 1 << 20)
    for path in (archive_path, inner):
        with zipfile.ZipFile(path) as z:
            if subprocess.run(["unzip", "-tqq", path]).returncode or z.testzip():
                return ["unzip -t or Python's zipfile finds damage in " + path]
    shutil.rmtree(store)
    status, stderr = run("stowline-restore-probe", archive_path)
    if status != 0:
        return ["restore failed: exit %d %s" % (status, stderr[-2000:])]
    after = contents()
    return [] if after == before else ["restored store differs: %s" % sorted(set(before.items()) ^ set(after.items()))[:5]]


# ---- rollback and undo ---------------------------------------------------------------------------------

ID2 = "{6E1D1EF6-2345-4BCD-AEF0-123456789ABC}"
# What the restore replaces besides the sample profile's own address book and Favorites.
EXISTING = {"home/restored-store/Inbox.dbx": b"older mail", "home/Favorites/Links/old.url": b"[InternetShortcut]"}


def two_identities(root):
    index = ('"Probe Identity","' + ID + '"\r\n"Second Identity","' + ID2 + '"\r\n').encode()
    second = identity_reg(root, "", ID2, "Second Identity", "restored-store2")
    return archive(root, index=index, extra=[(ID2 + "/ident_key.reg", second),
                                             (ID2 + "/ident_data.zip", zip_bytes([("Inbox.dbx", b"second" * 50)]))])


def rollback_and_undo(bin_dir, work, kind):
    """The restore of two identities, Favorites and an address book made to fail at each of its
    calls of one kind in turn must leave the machine as it was; a run that still ends restored (the
    Favorites are added to when replacing them fails), and the first run that no fault reaches, must
    be undone to exactly that state."""
    problems = []
    for nth in range(1, 100000):
        case_dir, env = fresh_case(bin_dir, work)
        write_files(os.path.join(case_dir, "root"), EXISTING)
        archive_path = os.path.join(work, "two.stw")
        write_files(work, {archive_path: two_identities(os.path.join(case_dir, "root"))})
        before = machine_state(bin_dir, env, case_dir, True)
        changes = lambda: state_changes(before, machine_state(bin_dir, env, case_dir, True), True,
                                        lambda p: p.startswith("root/tmp/"))
        run = subprocess.run([os.path.join(bin_dir, "stowline-restore-probe"), archive_path], capture_output=True,
                             env=dict(env, STOWLINE_FAIL_FILE_CALL="%s:%d:ENOSPC" % (kind, nth)), timeout=HANG_SECONDS)
        text = run.stderr.decode("utf-8", "replace")
        fired = "%s call %d " % (kind, nth) in text
        label = "%s %d" % (kind, nth) if fired else kind + " without a fault"
        if run.returncode == 0:
            if not changes():
                problems.append(label + ": the restore changed nothing")
            undo = subprocess.run([os.path.join(bin_dir, "stowline"), "--undo-restore"], env=env, capture_output=True)
            if undo.returncode != 0:
                problems.append("%s: undo ended %d: %s" % (label, undo.returncode, undo.stderr.decode()))
            label += ", undone"
        elif not fired:
            problems.append("%s: ended %d: %s" % (label, run.returncode, text[-1500:]))
        problems += ["%s: changed: %s" % (label, change) for change in changes()]
        if not fired:
            return problems
    return ["no run without a fault"]



# ---- undo after life goes on, and cut short ---------------------------------------------------------

INBOX = "home/restored-store/Inbox.dbx"


def stowline(bin_dir, env, *args, **extra):
    return subprocess.run([os.path.join(bin_dir, "stowline"), *args], env=dict(env, **extra), capture_output=True,
                          text=True, errors="replace", timeout=HANG_SECONDS)


def read(root, path):
    """The file's bytes; None when it is missing."""
    if not os.path.isfile(os.path.join(root, path)):
        return None
    with open(os.path.join(root, path), "rb") as f:
        return f.read()


def restored(bin_dir, work, build=two_identities, env_extra=None, fault=None):
    """A fresh profile holding EXISTING, restored from build's archive by the real wizard pages:
    (root, env, state before, probe's run)."""
    case_dir, env = fresh_case(bin_dir, work)
    env = dict(env, **(env_extra or {}))
    root = os.path.join(case_dir, "root")
    write_files(root, EXISTING)
    archive_path = os.path.join(work, "undo.stw")
    write_files(work, {archive_path: build(root)})
    before = machine_state(bin_dir, env, case_dir, True)
    run = subprocess.run([os.path.join(bin_dir, "stowline-restore-probe"), archive_path], capture_output=True,
                         env=dict(env, **({"STOWLINE_FAIL_FILE_CALL": fault} if fault else {})), timeout=HANG_SECONDS)
    changes = lambda: [c for c in state_changes(before, machine_state(bin_dir, env, case_dir, True), True,
                                                lambda p: p.startswith(("root/tmp/", "root/home/.local/state")))
                       if "\\Software\\Velmora" not in c]  # the settings of each start of stowline
    return root, env, changes, run


def life_goes_on(bin_dir, work):
    """New mail in the restored Inbox and a Favorite added: both stay, the Inbox from before beside."""
    root, env, _, run = restored(bin_dir, work)
    with open(os.path.join(root, INBOX), "ab") as f:
        f.write(b"new mail")
    write_files(root, {"home/Favorites/Added later.url": b"[InternetShortcut]\r\nURL=later\r\n"})
    undo = stowline(bin_dir, env, "--undo-restore")
    beside = "home/restored-store/Inbox (before restore).dbx"
    return [p for p, bad in [
        ("undo ended %d: %s" % (undo.returncode, undo.stderr), undo.returncode != 0),
        ("the new mail is gone", read(root, INBOX) != b"mail " * 100 + b"new mail"),
        ("the Inbox from before is not beside it", read(root, beside) != b"older mail"),
        ("the Favorite added later is gone", not os.path.exists(os.path.join(root, "home/Favorites/Added later.url"))),
        ("the Favorites from before are not back", read(root, "home/Favorites/Links/old.url") != b"[InternetShortcut]"),
        ("the restored Favorite stayed", os.path.exists(os.path.join(root, "home/Favorites/Links/new.url"))),
        ("the summary does not name %s once" % INBOX, undo.stdout.count(os.path.join(root, INBOX) + "\n") != 1),
        ("the summary does not name the Favorite", "Added later.url" not in undo.stdout)] if bad]


def identity_changed_since(bin_dir, work):
    """An identity renamed after the restore is kept; the rest of the registry is put back."""
    root, env, changes, run = restored(bin_dir, work)
    renamed = os.path.join(work, "rename.reg")
    write_files(work, {renamed: reg('[HKEY_CURRENT_USER\\Identities\\' + ID + ']\r\n"Username"="Renamed"\r\n\r\n')})
    subprocess.run([os.path.join(bin_dir, "stowline-regedit"), "/s", renamed], env=env, check=True)
    undo = stowline(bin_dir, env, "--undo-restore")
    left = [c for c in changes() if "Identities\\" + ID not in c and not c.startswith("root/home/restored-store")]
    return (["undo ended %d: %s" % (undo.returncode, undo.stderr)] * (undo.returncode != 0) +
            ["the renamed identity is not named kept"] * ("Identities\\" + ID not in undo.stdout) +
            ["changed beyond the renamed identity and its files: " + c for c in left] +
            ["the renamed identity is gone"] * ("registry key HKEY_CURRENT_USER\\Identities\\" + ID not in changes()))


def other_registry(bin_dir, work):
    """An undo on another registry store refuses, naming the restore's; on its own it undoes."""
    root, env, changes, run = restored(bin_dir, work)
    other = os.path.join(work, "other.db")
    shutil.copy(os.path.join(root, "registry.db"), other)
    with open(other, "rb") as f:
        other_bytes = f.read()
    refused = stowline(bin_dir, env, "--undo-restore", STOWLINE_REGISTRY=other)
    with open(other, "rb") as f:
        untouched = f.read() == other_bytes
    undo = stowline(bin_dir, env, "--undo-restore")
    return (["the other store's undo ended 0"] * (refused.returncode == 0) +
            ["the refusal does not name " + root + "/registry.db"] * (root + "/registry.db" not in refused.stderr) +
            ["the other store was changed"] * (not untouched) +
            ["undo ended %d: %s" % (undo.returncode, undo.stderr)] * (undo.returncode != 0) +
            ["changed: " + c for c in changes()])


def undo_folder_as_target(bin_dir, work):
    """An address book recorded inside the undo folder brings its own journal: it is written elsewhere,
    and the undo never acts on it."""
    state = "home/state"
    def build(root):  # a journal of a restore cut short, on this registry, that added ~/precious
        journal = ("stowline-journal\t2\nsource\t0 %s/registry.db \t\t\nadded\t%s/home/precious\n" % (root, root)).encode()
        return archive(root, wab_key=reg("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name]\r\n@=\"" +
                                         root + "/" + state + "/stowline/last-restore/journal.txt\"\r\n\r\n"),
                       wab=[("journal.txt", journal)])
    case_dir = os.path.join(work, "case", "root")
    root, env, changes, run = restored(bin_dir, work, build, {"XDG_STATE_HOME": os.path.join(case_dir, state)})
    write_files(root, {"home/precious": b"precious"})
    undo = stowline(bin_dir, env, "--undo-restore")
    return (["restore ended %d" % run.returncode] * (run.returncode != 0) +
            ["undo ended %d: %s" % (undo.returncode, undo.stderr)] * (undo.returncode != 0) +
            ["~/precious is gone"] * (not os.path.exists(os.path.join(root, "home/precious"))))


def nothing_executable(bin_dir, work):
    """Members recorded executable are restored without execute bits."""
    def build(root):
        sudo = zipfile.ZipInfo("sudo")
        sudo.create_system, sudo.external_attr = 3, (stat.S_IFREG | 0o755) << 16
        return archive(root, wab=[(sudo, b"#!/bin/sh\necho owned\n")],
                       wab_key=reg("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name]\r\n@=\"" +
                                   root + "/home/bin/sudo\"\r\n\r\n"))
    root, env, changes, run = restored(bin_dir, work, build)
    sudo = os.path.join(root, "home/bin/sudo")
    return (["restore ended %d" % run.returncode] * (run.returncode != 0) + ["~/bin/sudo not restored"] *
            (not os.path.exists(sudo)) + ["~/bin/sudo is executable"] * (os.path.exists(sudo) and os.stat(sudo).st_mode & 0o111 != 0))


# A rename well into the restore: the store's files are unpacked, the Favorites not yet.
RESTORE_KILLED_AT = 14
SEQUENCES = [life_goes_on, identity_changed_since, other_registry, undo_folder_as_target, nothing_executable]


def killed_at_each_step(bin_dir, work, restore_fault=None):
    """An undo (or, with restore_fault, the rollback of a restore killed part-way) killed at each of its
    renames, journal writes and syncs in turn, then run again: everything is as before the restore."""
    problems = []
    for kind in ("rename", "write", "fsync", "dbwrite"):
        for nth in range(1, 1000):
            root, env, changes, run = restored(bin_dir, work, fault=restore_fault)
            label = "%s %s %d" % ("rollback" if restore_fault else "undo", kind, nth)
            if restore_fault and nth == 1 and kind == "rename":
                refusal = subprocess.Popen([os.path.join(bin_dir, "stowline"), "/R", os.path.join(work, "undo.stw")],
                                           env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
                watchdog = threading.Timer(60, refusal.kill)
                watchdog.start()
                text = ""
                for text_line in refusal.stderr:
                    text += text_line
                    if "Nothing was restored" in text_line:
                        break
                refusal.kill()
                watchdog.cancel()
                if "last-restore" not in text or "Nothing was restored" not in text:
                    problems.append("/R without a window does not refuse, naming the journal: " + text[-500:])
            killed = stowline(bin_dir, env, "--undo-restore", STOWLINE_FAIL_FILE_CALL="%s:%d:KILL" % (kind, nth))
            if "kills the process" not in killed.stderr:
                if killed.returncode != 0:
                    problems.append("%s: ended %d: %s" % (label, killed.returncode, killed.stderr))
                problems += ["%s: changed: %s" % (label, c) for c in changes()]
                break
            again = stowline(bin_dir, env, "--undo-restore")
            if again.returncode != 0:
                problems.append("%s, run again: ended %d: %s" % (label, again.returncode, again.stderr))
            problems += ["%s, run again: changed: %s" % (label, c) for c in changes()]
    return problems

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--long", action="store_true", help="the long cases (65,535 members, Zip64) only")
    parser.add_argument("--rollback", action="store_true",
                        help="fail each write, rename and registry write in turn, then undo")
    parser.add_argument("--undo", action="store_true",
                        help="undo after changes, on another registry, and killed at each step")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="stowline-hostile-")
    try:
        if args.undo:
            problems = [s.__name__ + ": " + p for s in SEQUENCES for p in s(args.bin_dir, work)]
            problems += killed_at_each_step(args.bin_dir, work)
            problems += killed_at_each_step(args.bin_dir, work, "rename:%d:KILL" % RESTORE_KILLED_AT)
            print("\n".join(problems[:200]))
            return 1 if problems else 0
        if args.rollback:
            problems = [p for kind in ("write", "rename", "dbwrite") for p in rollback_and_undo(args.bin_dir, work, kind)]
            print("\n".join(problems[:200]))
            return 1 if problems else 0
        cases = [c for c in CASES if c["long"] == args.long]
        failed = 0
        for hostile in cases:
            status, cpu_seconds, peak, problems, text = run_case(args.bin_dir, work, hostile)
            print("%-55s exit %d  %5.2f s CPU  %6.1f MiB  %s" % (hostile["name"], status, cpu_seconds,
                                                                 peak / 1024, "FAILED" if problems else "ok"))
            if problems:
                failed += 1
                print("    " + "\n    ".join(problems) + "\n    stderr: " + text.strip().replace("\n", "\n    ")[:2000])
        if args.long:
            problems = zip64_round_trip(args.bin_dir, os.path.join(work, "zip64"))
            print("Zip64 round trip: " + ("; ".join(problems) or "ok"))
            failed += bool(problems)
        return 1 if failed else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
