#!/usr/bin/env python3
"""Imports a few hundred generated .reg files with `wine regedit` and with `stowline-regedit`, and
compares the two registries key by key. Usage: regedit_oracle.py STOWLINE_REGEDIT [WORKDIR]
Exits 0 when at least 98 % of the files give the same keys and values, 77 (skipped) without Wine."""
import itertools, os, shutil, subprocess, sys, tempfile

ROOT = "Software\\StwOracle"


# ---- generated files --------------------------------------------------------------------------

def body_variants():
    """(name, lines) pairs; {K} is the file's own key, {P} its parent key under the same hive."""
    v = [
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
    bad = ['"v"=hex:01,zz,03', '"v"=hex:100', '"v"=hex:0ff,1', '"v"=hex:01,,02', '"v"=hex: 01 , 02 ,03',
           '"v"=hex:01,02,', '"v"=hex:01,02 ; note', '"v"=hex:01,02 x', '"v"=dword:xyz', '"v"=dword:123456789',
           '"v"=dword:', '"v"=dword:00000010 ; sixteen', '"v"=dword: 10 ', '"v"=dword:10 x', '"v"=DWORD:00000001',
           '"v"=Hex:01', '"v"=word:01', '"v"=hex(2)01,00', '"v"=hex(zz):01', '"v"="no end', '"v=1', '"v"="a" b',
           '"v"="a" ; note', '"v"="a" "w"="b"', '"v" "x"', '"v" = "a"', '\t"v"="tab"', '"v"="a\\0b"',
           '"v"="a\\nb"', '"v"="a\\rb"', '"v"="a\\qb"', '"v\\"x"="1"', '"v"=- x', '"v"=- ; gone', 'garbage line',
           '=', '@ x']
    v += [(f"bad {line!r}", ['"kept"="yes"', line, '"after"="still here"']) for line in bad]
    v += [
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
    ]
    # Key lines.
    keys = ['[ {K}\\sub]', '[- {K}\\sub]', '[{K}\\sub] trailing', '[{K}\\sub', '[{K}\\s]b]', '[{K}\\sub\\]',
            '[HKEY_NOWHERE\\x]', '[HKCU\\Software\\StwOracleShort]', '[{Klower}\\sub]']
    v += [(f"key {line!r}", ['[{K}\\sub]', '"s"="1"', line, '"b"="2"']) for line in keys]
    v += [("value before key", None), ("delete unknown hive", ['"a"="1"', '[-HKEY_NOWHERE\\x]', '"b"="2"'])]
    return v


def key_of(hive, index):
    return f"{hive}\\{ROOT}\\F{index:03}"


def render(lines, key, header, eol):
    text = [line.replace("{Klower}", key.lower()).replace("{K}", key) for line in lines]
    return header + eol + eol + "[" + key + "]" + eol + eol.join(text) + eol


V5 = "Windows Registry Editor Version 5.00"


def generate():
    """Yields (name, bytes, keys compared)."""
    forms = [("v4 crlf", "REGEDIT4", "\r\n", "ascii"), ("v4 lf", "REGEDIT4", "\n", "ascii"),
             ("v4 cr", "REGEDIT4", "\r", "ascii"), ("v5 crlf", V5, "\r\n", "utf16"), ("v5 ansi", V5, "\r\n", "ascii")]
    index = -1
    for (name, lines), (form, header, eol, encoding) in itertools.product(body_variants(), forms):
        index += 1
        key = key_of(["HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"][index % 2], index)
        if lines is None:  # a value before the first key
            text = header + eol + '"early"="x"' + eol + "[" + key + "]" + eol + '"a"="1"' + eol
        else:
            text = render(lines, key, header, eol)
        yield f"{name} / {form}", encode(text, encoding), index
    # Text outside ASCII: Windows-1252 bytes in an ANSI file, any text in a UTF-16 file.
    for form, header, encoding in [("v4", "REGEDIT4", "cp1252"), ("v5", V5, "utf16")]:
        index += 1
        text = render(['"Zoë"="Ångström – €"', '"p"=hex(2):41,42'], key_of("HKEY_CURRENT_USER", index), header, "\r\n")
        yield f"non-ascii / {form}", encode(text, encoding), index
    # Classes: the Windows 3.1 form and HKEY_CLASSES_ROOT keys land below HKLM\Software\Classes.
    own = "[HKEY_CURRENT_USER\\" + ROOT + "\\F{i}]\r\n\"a\"=\"1\"\r\n"
    for form, text in [
        ("win31", "REGEDIT\r\nHKEY_CLASSES_ROOT\\StwOracle\\F{i} = first\r\n"
                  "HKEY_CLASSES_ROOT\\StwOracle\\F{i}\\shell\\open\\command = prog.exe %1\r\n"
                  "HKEY_CLASSES_ROOT\\StwOracle\\F{i}\\empty\r\nnot a class line\r\n"),
        ("classes v4", "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\StwOracle\\F{i}]\r\n@=\"cls\"\r\n"),
        ("classes v5", V5 + "\r\n\r\n[HKEY_CLASSES_ROOT\\StwOracle\\F{i}]\r\n\"a\"=dword:00000002\r\n"),
        ("fuzzy header", "REGEDIT 4\r\n\r\n" + own), ("no header", own), ("indented header", "  REGEDIT4\r\n\r\n" + own),
    ]:
        index += 1
        yield form, encode(text.replace("{i}", f"{index:03}"), "ascii"), index


def encode(text, encoding):
    return b"\xff\xfe" + text.encode("utf-16-le") if encoding == "utf16" else text.encode(encoding)


# ---- reading an export ------------------------------------------------------------------------

def read_export(path):
    """{key (lower case): {value name (lower case): (type, data)}} of a well-formed export."""
    raw = open(path, "rb").read()
    text = raw[2:].decode("utf-16-le") if raw.startswith(b"\xff\xfe") else raw.decode("utf-8")
    unicode = raw.startswith(b"\xff\xfe")
    keys, current, pending = {}, None, ""
    for line in text.replace("\r\n", "\n").split("\n")[1:]:
        if pending or (line.endswith("\\") and not line.startswith("[")):
            pending += line.strip()
            if pending.endswith("\\"):
                pending = pending[:-1]
                continue
            line, pending = pending, ""
        if line.startswith("["):
            current = keys.setdefault(line[1:-1].lower(), {})
        elif line and current is not None:
            name, data = split_value(line)
            current[name.lower()] = parse_data(data, unicode)
    return keys


def split_value(line):
    if line.startswith("@="):
        return "", line[2:]
    i, name = 1, ""
    while line[i] != '"':
        if line[i] == "\\":
            i += 1
        name += line[i]
        i += 1
    return name, line[i + 2:]


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


# ---- running both ------------------------------------------------------------------------------

def export_all(roots, regedit, env, work):
    keys, path = {}, os.path.join(work, "export.reg")
    for root in roots:
        if os.path.exists(path):
            os.remove(path)
        run(regedit + ["/e", path, root], env)
        keys.update(read_export(path) if os.path.exists(path) else {})
    return keys


def run(command, env=None):
    return subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)


def main():
    tool = sys.argv[1]
    if not shutil.which("wine"):
        print("SKIP: wine is not installed, so there is no oracle to compare with")
        return 77
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="regedit-oracle-")
    os.makedirs(work, exist_ok=True)
    wine_env = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
                    WINEDLLOVERRIDES="mscoree,mshtml=")
    ours_env = dict(os.environ, STOWLINE_REGISTRY=os.path.join(work, "ours.db"))
    run(["wineboot", "-i"], wine_env)
    files, paths, gives_up = list(generate()), [], []
    for name, data, index in files:
        paths.append(os.path.join(work, f"f{index:03}.reg"))
        open(paths[-1], "wb").write(data)
        result = run([tool, "/s", paths[-1]], ours_env)
        if result.returncode < 0 or result.returncode > 3:
            print(f"CRASH {index:03} {name}: status {result.returncode}")
        # One regedit run reads many files, but a file that makes it give up ends the whole run.
        if any(m in data.replace(b"\0", b"") for m in (b"[-HKEY_NOWHERE", b'"a\\0b"')):
            gives_up.append(paths[-1])
    run(["wine", "regedit", "/s"] + [p for p in paths if p not in gives_up], wine_env)
    for path in gives_up:
        run(["wine", "regedit", "/s", path], wine_env)
    roots = ["HKEY_CURRENT_USER\\" + ROOT, "HKEY_LOCAL_MACHINE\\" + ROOT,
             "HKEY_LOCAL_MACHINE\\Software\\Classes\\StwOracle"]
    # Our exports read back by Wine are checked by wine_prefix.py, value type by value type.
    theirs, ours = export_all(roots, ["wine", "regedit"], wine_env, work), export_all(roots, [tool], ours_env, work)
    run(["wineserver", "-k"], wine_env)
    differ = []
    for name, _, index in files:
        pick = lambda keys: {k: v for k, v in keys.items() if f"\\f{index:03}" in k}
        if pick(theirs) != pick(ours):
            differ.append(f"{index:03} {name}:\n  wine: {pick(theirs)}\n  ours: {pick(ours)}")
    extra = sorted(set(k for k in theirs if "\\f" not in k) ^ set(k for k in ours if "\\f" not in k))
    agree = 100.0 * (len(files) - len(differ)) / len(files)
    print("\n".join(differ) + (f"\nkeys outside the files' own: {extra}" if extra else ""))
    print(f"{len(files) - len(differ)} of {len(files)} files agree with wine regedit ({agree:.1f} %)")
    # Readings Windows is known to make, which must agree whatever the overall rate.
    failed = [d for d in differ if d[4:].startswith(("empty hex1", "hex broken by", "hex continued by junk"))]
    if failed:
        print(f"{len(failed)} of the readings that must agree differ")
    return 0 if agree >= 98.0 and not failed else 1


if __name__ == "__main__":
    sys.exit(main())
