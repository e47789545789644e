#!/usr/bin/env python3
"""Stowline on a real Wine prefix. Usage: wine_prefix.py BIN_DIR
(a) a few hundred generated .reg files imported by `wine regedit` and by `stowline-regedit` give the same
    keys and values (at least 98 % of the files, all readings Windows is known to make), and what Wine
    imported, `stowline-regedit --wine-prefix /e` exports with the same values;
(b) what stowline-regedit imported into user.reg, `wine reg query` reads as Wine's own import, and its
    REGEDIT4 and 5.00 exports come back identically through `wine regedit`;
(c) the sample profile planted into the prefix (keys through `wine regedit`, folders under drive_c)
    backs up through `stowline --wine-prefix … /S` into the same archive members as from the store;
(d) that archive restores into a second fresh prefix: Wine reads the identities, accounts and address
    book key back, recorded as Windows paths, and the files come back byte for byte.
Exits 77 (skipped) with the reason when Wine cannot run here."""
import io, os, re, shutil, subprocess, sys, tempfile, zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "restore"))
from hostile_archives import sandbox as sample_profile  # noqa: E402

ROOT = "Software\\StwOracle"
KEY = "HKEY_CURRENT_USER\\Software\\StwWine"
USER = "stowuser"


V5 = "Windows Registry Editor Version 5.00"
# (name, lines below the file's own key {K}): each is written in every form of FORMS.
VARIANTS = [
    # Well-formed data of every kind.
    ("string", ['"s"="plain text"', '"q"="with \\"quotes\\" and \\\\ back"', '@="default"']),
    ("dword", ['"d1"=dword:00000001', '"d2"=dword:ffffffff', '"d3"=dword:7']),
    ("binary", ['"b"=hex:00,01,fe,FF', '"e"=hex:', '"w"=hex:01,02,\\', '  03,04']),
    ("typed", ['"n"=hex(0):01,02', '"x"=hex(b):01,00,00,00,00,00,00,00', '"big"=hex(100):aa']),
    ("text types", ['"p"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00', '"h"=hex(1):41,00,42,00,00,00',
                    '"m"=hex(7):61,00,00,00,62,00,00,00,00,00']),
    ("empty hex1", ['"h"=hex(1):', '"h2"=hex(2):', '"h7"=hex(7):']),
    ("deletions", ['"gone"="x"', '"gone"=-', '"kept"="y"', '[{K}\\sub]', '"a"="1"', '[-{K}\\sub]', '[{K}]', '"b"="2"']),
    ("nested keys", ['[{K}\\a\\b\\c]', '"deep"="1"', '[{K}\\a]', '"mid"=dword:2']),
    ("value names", ['"with space"="1"', '"semi;colon"="2"', '"eq=sign"="3"', '"br[a]ck"="4"']),
]
# Malformed lines: Windows skips the line or the value and imports the rest.
VARIANTS += [(f"bad {line!r}", ['"kept"="yes"', line, '"after"="still here"']) for line in [
    '"v"=hex:01,zz,03', '"v"=hex: 01 , 02 ,03', '"v"=hex:01,02 ; note', '"v"=dword:123456789',
    '"v"=dword:00000010 ; sixteen', '"v"=DWORD:00000001', '"v"="no end', '"v"="a" b', '"v"="a\\0b"', '@ x']]
VARIANTS += [
    # Comments and layout.
    ("comments", ['# a comment', '"a"="1"', '#"b"="2"', '; a comment', ';"b"="2"']),
    ("indented", ['   "a"="1"', '\t[{K}\\in]', ' "b"="2"']),
    ("hex broken by blank", ['"h"=hex:01,02,\\', '', '  03', '"after"="x"']),
    ("hex broken by comment", ['"h"=hex:01,02,\\', '; c', '  03', '"after"="x"']),
    ("hex continued by junk", ['"h"=hex:01,02,\\', 'zz', '"after"="x"']),
    ("hex continuation comment", ['"h"=hex:01,\\ ; c', '  02', '"after"="x"']),
    ("hex continuation at end", ['"after"="x"', '"h"=hex:01,02,\\']),
    # Broken off by a value or a key: Windows takes that line into the value and drops both.
    ("hex broken by value", ['"h"=hex:01,02,\\', '"next"="x"', '"after"="x"']),
    ("hex broken by key", ['"h"=hex:01,02,\\', '[{K}\\sub]', '"after"="x"']),
    ("hex broken by comment, then value", ['"h"=hex(2):41,00,\\', '; c', '"next"="x"', '"after"="x"']),
    ("delete unknown hive", ['"a"="1"', '[-HKEY_NOWHERE\\x]', '"b"="2"']),
]
# Key lines.
VARIANTS += [(f"key {line!r}", ['[{K}\\sub]', '"s"="1"', line, '"b"="2"']) for line in
             ['[ {K}\\sub]', '[{K}\\sub] trailing', '[{K}\\sub', '[HKEY_NOWHERE\\x]', '[{Klower}\\sub]']]
FORMS = [("v4 crlf", "REGEDIT4", "\r\n", "ascii"), ("v4 lf", "REGEDIT4", "\n", "ascii"),
         ("v4 cr", "REGEDIT4", "\r", "ascii"), ("v5 crlf", V5, "\r\n", "utf16"), ("v5 ansi", V5, "\r\n", "ascii")]


def key_of(hive, index):
    return f"{hive}\\{ROOT}\\F{index:03}"


def generate():
    """Yields (name, bytes, index): file index writes below keys named F{index:03}."""
    cases = [(f"{name} / {form}", [header, "", "[{K}]"] + lines, eol, encoding)
             for name, lines in VARIANTS for form, header, eol, encoding in FORMS]
    cases += [(f"value before key / {form}", [header, '"early"="x"', "[{K}]", '"a"="1"'], eol, encoding)
              for form, header, eol, encoding in FORMS]
    # Text outside ASCII: Windows-1252 bytes in an ANSI file, any text in a UTF-16 file.
    cases += [(f"non-ascii / {form}", [header, "", "[{K}]", '"Zoë"="Ångström – €"', '"p"=hex(2):41,42'],
               "\r\n", encoding) for form, header, encoding in [("v4", "REGEDIT4", "cp1252"), ("v5", V5, "utf16")]]
    # Classes: the Windows 3.1 form and HKEY_CLASSES_ROOT keys land below HKLM\Software\Classes.
    own, cls = ["[HKEY_CURRENT_USER\\" + ROOT + "\\F{i}]", '"a"="1"'], "HKEY_CLASSES_ROOT\\StwOracle\\F{i}"
    cases += [(name, lines, "\r\n", "ascii") for name, lines in [
        ("win31", ["REGEDIT", cls + " = first", cls + "\\shell\\open\\command = prog.exe %1", cls + "\\empty",
                   "not a class line"]),
        ("classes v4", ["REGEDIT4", "", f"[{cls}]", '@="cls"']), ("classes v5", [V5, "", f"[{cls}]", '"a"=dword:00000002']),
        ("fuzzy header", ["REGEDIT 4", ""] + own), ("no header", own), ("indented header", ["  REGEDIT4", ""] + own)]]
    for index, (name, lines, eol, encoding) in enumerate(cases):
        key = key_of(("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE")[index % 2], index)
        text = eol.join(lines).replace("{Klower}", key.lower()).replace("{K}", key).replace("{i}", f"{index:03}")
        yield name, encode(text + eol, encoding), index


def encode(text, encoding):
    return b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf16" else text.encode(encoding)


# ---- reading an export ------------------------------------------------------------------------

def read_export(path, case=str.lower):
    """{key: {value name: (type, data)}} of a well-formed export, names in lower case unless told."""
    raw = open(path, "rb").read()
    unicode = raw.startswith(b"\xff\xfe")
    text = raw[2:].decode("utf-16-le") if unicode else raw.decode("utf-8")
    keys, current = {}, None
    for line in re.sub(r"\\\r?\n\s*", "", text).replace("\r\n", "\n").split("\n")[1:]:  # hex lines joined
        if line.startswith("["):
            current = keys.setdefault(case(line[1:-1]), {})
        elif line and current is not None:
            name, data = split_value(line)
            current[case(name)] = parse_data(data, unicode)
    return keys


def split_value(line):
    name, data = re.match(r'(@|"(?:[^"\\]|\\.)*")=(.*)', line).groups()
    return "" if name == "@" else re.sub(r"\\(.)", r"\1", name[1:-1]), data


def parse_data(data, unicode):
    if data.startswith('"'):
        return (1, unescape(data[1:-1]))
    if data.startswith("dword:"):
        return (4, int(data[6:], 16))
    kind, _, digits = data.partition(":")
    type_ = 3 if kind == "hex" else int(kind[4:-1], 16)
    blob = bytes(int(x, 16) for x in digits.split(",") if x)
    if type_ in (1, 2, 7) and not blob:
        return (type_, None)  # no bytes at all, not even a terminating NUL
    if type_ in (1, 2, 7):
        text = blob.decode("utf-16-le" if unicode else "utf-8", "replace")
        return (type_, text.rstrip("\0") if type_ != 7 else text.rstrip("\0") + "\0")
    return (type_, blob)


def unescape(s):
    return s.replace('\\"', '"').replace("\\n", "\n").replace("\\r", "\r").replace("\\\\", "\\")


def run(command, env, check=True):
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if check and result.returncode != 0:
        raise SystemExit(f"FAIL: {' '.join(command)} exited {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result


def wine_env(prefix):
    return dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                USER=USER, LC_ALL="C.UTF-8", DISPLAY="")


def wine(prefix, *args):
    result = run(["wine", *args], wine_env(prefix), check=False)
    run(["wineserver", "-w"], wine_env(prefix))  # Wine writes its registry when its server ends
    return result


def hex_of(data):
    return ",".join(f"{b:02x}" for b in data)


def every_type(key):
    """A version 5 file with a value of every type, escapes and names outside ASCII."""
    lines = ["Windows Registry Editor Version 5.00", "", f"[{key}]", '@="default"',
             '"plain"="text with \\"quotes\\" and \\\\ back\\\\slashes"', '"Zoë Ærø €"="Ångström – ünïcödé"',
             '"dword"=dword:0000001a', '"binary"=hex:00,01,fe,ff', '"empty"=hex:', '"long"=hex:' + hex_of(range(120)),
             '"qword"=hex(b):01,02,03,04,05,06,07,08', '"none"=hex(0):aa,bb',
             '"expand"=hex(2):' + hex_of("%USERPROFILE%\\Mail\0".encode("utf-16-le")),
             '"multi"=hex(7):' + hex_of("one\0twö\0\0".encode("utf-16-le")), f"[{key}\\Sub Key\\Tiefer ü]", '"x"="y"', ""]
    return b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le")


def query(prefix, key):
    result = wine(prefix, "reg", "query", key, "/s")
    return result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


def export_all(roots, export, work):
    """The keys below roots as one export command per root writes them (export(path, root))."""
    keys, path = {}, os.path.join(work, "export.reg")
    for root in roots:
        if os.path.exists(path):
            os.remove(path)
        export(path, root)
        keys.update(read_export(path) if os.path.exists(path) else {})
    return keys


def part_a(tool, prefix, work):
    """Returns the key Wine imported the file with a value of every type into."""
    files = list(generate())
    every = key_of("HKEY_CURRENT_USER", len(files))
    files.append(("every type", every_type(every), len(files)))
    ours_env = dict(os.environ, STOWLINE_REGISTRY=os.path.join(work, "ours.db"))
    paths, gives_up, differ = [], [], []
    for name, data, index in files:
        paths.append(os.path.join(work, f"f{index:03}.reg"))
        open(paths[-1], "wb").write(data)
        status = run([tool, "/s", paths[-1]], ours_env, check=False).returncode
        if status < 0 or status > 3:
            differ.append(f"{index:03} {name}: status {status}")
        # One regedit run reads many files, but a file that makes it give up ends the whole run.
        if any(m in data.replace(b"\0", b"") for m in (b"[-HKEY_NOWHERE", b'"a\\0b"')):
            gives_up.append(paths[-1])
    wine(prefix, "regedit", "/s", *[p for p in paths if p not in gives_up])
    for path in gives_up:
        wine(prefix, "regedit", "/s", path)
    roots = ["HKEY_CURRENT_USER\\" + ROOT, "HKEY_LOCAL_MACHINE\\" + ROOT,
             "HKEY_LOCAL_MACHINE\\Software\\Classes\\StwOracle"]
    # Wine's export cuts text at a NUL; ours keeps it in hex(1), so theirs is compared with ours cut.
    cut = lambda keys: {k: {n: (t, d.split("\0")[0] if t == 1 and d else d) for n, (t, d) in v.items()}
                        for k, v in keys.items()}
    theirs = export_all(roots, lambda path, root: wine(prefix, "regedit", "/e", path, root), work)
    ours = cut(export_all(roots, lambda path, root: run([tool, "/e", path, root], ours_env, check=False), work))
    for form in ([], ["/a"]):  # what Wine imported, read by ours from the prefix
        read = export_all(roots, lambda path, root: run([tool, "--wine-prefix", prefix, "/e", *form, path, root],
                                                        os.environ, check=False), work)
        if cut(read) != theirs:
            raise SystemExit(f"FAIL (a) {form}: read from the prefix {[k for k in read if cut(read)[k] != theirs.get(k)]}")
    for name, _, index in files:
        pick = lambda keys: {k: v for k, v in keys.items() if f"\\f{index:03}" in k}
        if pick(theirs) != pick(ours):
            differ.append(f"{index:03} {name}:\n  wine: {pick(theirs)}\n  ours: {pick(ours)}")
    agree = 100.0 * (len(files) - len(differ)) / len(files)
    if differ:
        print("\n".join(differ))
    # Readings Windows is known to make must agree whatever the overall rate.
    failed = [d for d in differ if d[4:].startswith(("every type", "empty hex1", "hex broken by", "hex continued by junk"))]
    if agree < 98.0 or failed:
        raise SystemExit(f"FAIL (a): {len(files) - len(differ)} of {len(files)} files agree with wine regedit, "
                         f"{len(failed)} of the readings that must agree differ")
    return every


def part_b(tool, prefix, work, wines_key):
    source = os.path.join(work, "b.reg")
    open(source, "wb").write(every_type(KEY + "\\B"))
    run([tool, "--wine-prefix", prefix, "/s", source], os.environ)
    ours = query(prefix, KEY + "\\B")
    wines = query(prefix, wines_key).replace(wines_key, KEY + "\\B")
    if ours != wines or "REG_MULTI_SZ" not in ours:
        raise SystemExit(f"FAIL (b): Wine reads our import as\n{ours}\nits own as\n{wines}")
    for form in ([], ["/a"]):
        exported = os.path.join(work, "b-export.reg")
        run([tool, "--wine-prefix", prefix, "/e", *form, exported, KEY + "\\B"], os.environ)
        wine(prefix, "reg", "delete", KEY + "\\B", "/f")
        wine(prefix, "regedit", "/s", exported)
        again = query(prefix, KEY + "\\B")
        # Wine reads REGEDIT4 in the ANSI code page, ours is UTF-8: only ASCII lines compare.
        lost = [line for line in ours.split("\n") if line.isascii() and line not in again.split("\n")]
        if lost if form else again != ours:
            raise SystemExit(f"FAIL (b) {form or 'version 5'}: after wine regedit\n{again}\nbefore\n{ours}")
    # Written back, Wine's own system.reg keeps every byte but the key added.
    system = os.path.join(prefix, "system.reg")
    before = open(system, "rb").read()
    added = os.path.join(work, "machine.reg")
    open(added, "w").write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\StwWine]\r\n\"a\"=\"b\"\r\n")
    run([tool, "--wine-prefix", prefix, "/s", added], os.environ)
    after = re.sub(rb"\n\[Software\\\\StwWine\] \d+\n#time=[0-9a-f]+\n\"a\"=\"b\"\n", b"", open(system, "rb").read())
    if after != before:
        raise SystemExit("FAIL (b): system.reg changed beyond the key added")


def windows_reg(text, root, profile):
    """The store's export with the sandbox's Linux paths turned into the prefix's Windows ones."""
    linux = root + "/home"
    def path(s, base=profile):
        return s.replace(linux, base).replace("/", "\\")
    out = []
    for line in re.sub(r"\\\r\n\s*", "", text).split("\r\n"):  # hex continuation lines joined
        if line.startswith('"') and '"=hex(2):' in line:
            name, _, data = line.partition("=hex(2):")
            value = bytes(int(x, 16) for x in data.split(",") if x).decode("utf-16-le")
            line = name + "=hex(2):" + hex_of(path(value, "%USERPROFILE%").encode("utf-16-le"))
        elif linux in line:
            name, value = re.match(r'^(@|".*?")="(.*)"$', line).groups()
            line = name + '="' + path(value).replace("\\", "\\\\") + '"'
        out.append(line)
    return "\r\n".join(out)


def schedule(tool, folder, work, extra, env):
    settings = os.path.join(work, "schedule.reg")
    open(settings, "w").write("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Velmora\\Stowline\\1.0]\r\n"
                              '"Schedule"="2"\r\n"Delete"="1"\r\n"Items"="111"\r\n"Filename"="Mail"\r\n'
                              f'"Pathname"="{folder}"\r\n"TimesRun"="5"\r\n')
    run([tool, *extra, "/s", settings], env)


def members(archive):
    """Member name -> content; zipped members opened one level deeper, reg exports left out."""
    found = {}
    with zipfile.ZipFile(archive) as outer:
        for name in (n for n in outer.namelist() if not n.lower().endswith(".reg")):
            data = outer.read(name)
            inner = zipfile.ZipFile(io.BytesIO(data)) if data[:2] == b"PK" else None
            found.update({name + "/" + sub: inner.read(sub) for sub in inner.namelist()} if inner else {name: data})
    return found


def backup(bin_dir, extra, env, folder, label):
    """The members of the one archive a scheduled run of stowline writes into folder."""
    result = run([os.path.join(bin_dir, "stowline"), *extra, "/S"], env, check=False)
    written = [f for f in os.listdir(folder) if f.endswith(".stw")]
    if result.returncode != 0 or len(written) != 1:
        raise SystemExit(f"FAIL {label}: status {result.returncode}, {written}: {result.stderr.decode()}")
    return os.path.join(folder, written[0])


def part_c(bin_dir, prefix, work):
    tool, root = os.path.join(bin_dir, "stowline-regedit"), os.path.join(work, "sample")
    env = sample_profile(bin_dir, root)
    profile = f"C:\\users\\{USER}"
    export = os.path.join(work, "sample-store.reg")
    run([tool, "/e", export, "HKEY_CURRENT_USER"], env)
    planted = os.path.join(work, "sample-wine.reg")
    text = open(export, "rb").read()[2:].decode("utf-16-le")
    open(planted, "wb").write(b"\xff\xfe" + windows_reg(text, root, profile).encode("utf-16-le"))
    wine(prefix, "regedit", "/s", planted)
    home = os.path.join(prefix, "drive_c", "users", USER)
    for entry in os.listdir(os.path.join(root, "home")):
        if entry not in ("Documents",):
            shutil.copytree(os.path.join(root, "home", entry), os.path.join(home, entry), dirs_exist_ok=True)
    archives = {}
    for label, extra in (("store", []), ("wine", ["--wine-prefix", prefix])):
        folder = os.path.join(work, "archives-" + label)
        os.makedirs(folder)
        # In the prefix the folder is recorded as the Windows program writes it, through drive Z:.
        recorded = folder if not extra else "Z:" + folder.replace("/", "\\\\")
        schedule(tool, recorded, work, extra, env)
        archives[label] = backup(bin_dir, extra, env, folder, "(c) " + label)
    archive, archives = archives["wine"], {label: members(path) for label, path in archives.items()}
    if archives["store"] != archives["wine"]:
        only = set(archives["store"]) ^ set(archives["wine"])
        differ = [k for k in archives["store"] if k in archives["wine"] and archives["store"][k] != archives["wine"][k]]
        raise SystemExit(f"FAIL (c): members only in one archive {sorted(only)}, differing {differ}")
    return env, archive


def boot(prefix):
    result = run(["wineboot", "-i"], wine_env(prefix), check=False)
    run(["wineserver", "-w"], wine_env(prefix), check=False)
    return result


def tree(folder):
    """Relative path -> bytes of every file under folder."""
    return {os.path.relpath(os.path.join(d, f), folder): open(os.path.join(d, f), "rb").read()
            for d, _, files in os.walk(folder) for f in files}


def part_d(bin_dir, first, work, env, archive):
    prefix = os.path.join(work, "prefix2")
    boot(prefix)
    home = os.path.join("drive_c", "users", USER)
    picked = os.path.join(prefix, home, "picked")
    run([os.path.join(bin_dir, "stowline-restore-probe"), archive, picked], dict(env, STOWLINE_WINEPREFIX=prefix))
    identities, accounts, wab = (query(prefix, "HKEY_CURRENT_USER\\" + key) for key in (
        "Identities", "Software\\Microsoft\\Internet Account Manager", "Software\\Microsoft\\WAB\\WAB4\\Wab File Name"))
    wanted = ["{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}", "{8C1D5E72-0A94-4F3B-B6E1-2D7C9A4F5E10}",
              "{E4B7A219-C35D-4E8F-8D21-7F6A0B9C1D33}", "pop.zoe.example"]
    missing = [w for w in wanted if w not in identities] + [w for w in ("pop.home.example", "news.home.example")
                                                             if w not in accounts]
    roots = re.findall(r"Store Root\s+REG_\w+\s+(.*)", identities)  # recorded as Windows paths, not Linux ones
    if missing or "C:\\users" not in wab or len(roots) != 3 \
            or any(not r.startswith(("C:\\users\\", "%USERPROFILE%\\")) for r in roots):
        raise SystemExit(f"FAIL (d): missing {missing} in\n{identities}\n{accounts}\n{wab}")
    differ = [name for name in ("Mail", "Address Book", "Favorites")
              if tree(os.path.join(first, home, name)) != tree(os.path.join(prefix, home, name))]
    if differ:
        raise SystemExit(f"FAIL (d): {differ} under the second prefix's drive_c differ from the first's")


def main():
    bin_dir = sys.argv[1]
    tool = os.path.join(bin_dir, "stowline-regedit")
    if not shutil.which("wine") or not shutil.which("wineboot"):
        print("SKIP: wine is not installed")
        return 77
    work = tempfile.mkdtemp(prefix="stowline-wine-")
    prefix = os.path.join(work, "prefix")
    try:  # a prefix is over a gigabyte: a failed run must not leave it behind
        booted = boot(prefix)
        if booted.returncode != 0 or not os.path.isfile(os.path.join(prefix, "user.reg")):
            print(f"SKIP: wineboot cannot make a prefix here (status {booted.returncode}): "
                  f"{booted.stderr.decode(errors='replace')[-300:]}")
            return 77
        part_b(tool, prefix, work, part_a(tool, prefix, work))
        part_d(bin_dir, prefix, work, *part_c(bin_dir, prefix, work))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
