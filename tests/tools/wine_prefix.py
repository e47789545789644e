#!/usr/bin/env python3
"""Stowline on a real Wine prefix. Usage: wine_prefix.py BIN_DIR [WORKDIR]
(a) what `wine regedit /s` imported, `stowline-regedit --wine-prefix /e` exports with the same values;
(b) what stowline-regedit imported into user.reg, `wine reg query` reads as Wine's own import, and its
    REGEDIT4 and 5.00 exports come back identically through `wine regedit`;
(c) the sample profile planted into the prefix (keys through `wine regedit`, folders under drive_c)
    backs up through `stowline --wine-prefix … /S` into the same archive members as from the store;
(d) that archive restores into a second fresh prefix holding an identity of the same name: Wine reads the
    identities, accounts and address book key back, the clash renamed, and the files come back byte for byte.
Exits 77 (skipped) with the reason when Wine cannot run here."""
import io, os, re, shutil, subprocess, sys, tempfile, zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from regedit_oracle import read_export  # noqa: E402

KEY = "HKEY_CURRENT_USER\\Software\\StwWine"
USER = "stowuser"


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


def part_a(tool, prefix, work):
    source, theirs, ours = (os.path.join(work, n) for n in ("a.reg", "a-theirs.reg", "a-ours.reg"))
    open(source, "wb").write(every_type(KEY + "\\A"))
    wine(prefix, "regedit", "/s", source)
    wine(prefix, "regedit", "/e", theirs, KEY + "\\A")
    for form in ([], ["/a"]):
        run([tool, "--wine-prefix", prefix, "/e", *form, ours, KEY + "\\A"], os.environ)
        if read_export(ours) != read_export(theirs):
            raise SystemExit(f"FAIL (a) {form}: ours {read_export(ours)}\n  wine {read_export(theirs)}")
    print(f"(a) stowline-regedit exports what wine regedit imported: {len(read_export(theirs))} keys the same")


def part_b(tool, prefix, work):
    source = os.path.join(work, "b.reg")
    open(source, "wb").write(every_type(KEY + "\\B"))
    run([tool, "--wine-prefix", prefix, "/s", source], os.environ)
    ours = query(prefix, KEY + "\\B")
    wines = query(prefix, KEY + "\\A").replace(KEY + "\\A", KEY + "\\B")
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
    print("(b) Wine reads our user.reg as its own import; REGEDIT4 and 5.00 exports come back the same; "
          f"system.reg ({len(before)} bytes) rewritten byte for byte")


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
            if data[:2] != b"PK":
                found[name] = data
                continue
            with zipfile.ZipFile(io.BytesIO(data)) as inner:
                found.update({name + "/" + sub: inner.read(sub) for sub in inner.namelist()})
    return found


def sample_profile(bin_dir, root):
    """The environment that makes the programs see the sample profile made under root."""
    made = run([os.path.join(bin_dir, "stowline-sample-profile"), root], os.environ)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for line in made.stdout.decode().splitlines():
        name, _, value = line[len("export "):].partition("=")
        env[name] = value.strip("'")
    return env


def backup(bin_dir, extra, env, folder, label):
    """The members of the one archive a scheduled run of stowline writes into folder."""
    result = subprocess.run([os.path.join(bin_dir, "stowline"), *extra, "/S"], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=300)
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
    print(f"(c) backup of the planted prefix: {len(archives['wine'])} members as from the store")
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
    own = "{0D15EA5E-0000-4000-8000-000000000042}"
    clash = os.path.join(work, "clash.reg")  # the archive holds "Work, Ltd." under another ID
    open(clash, "w").write(f"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities\\{own}]\r\n"
                           f'"Username"="Work, Ltd."\r\n"User ID"="{own}"\r\n')
    wine(prefix, "regedit", "/s", clash)
    home = os.path.join("drive_c", "users", USER)
    picked = os.path.join(prefix, home, "picked")
    result = subprocess.run([os.path.join(bin_dir, "stowline-restore-probe"), archive, picked],
                            env=dict(env, STOWLINE_WINEPREFIX=prefix), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=300)
    if result.returncode != 0:
        raise SystemExit(f"FAIL (d): restore probe exited {result.returncode}: {result.stderr.decode()}")
    identities = query(prefix, "HKEY_CURRENT_USER\\Identities")
    accounts = query(prefix, "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager")
    wab = query(prefix, "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name")
    wanted = ["{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}", "{8C1D5E72-0A94-4F3B-B6E1-2D7C9A4F5E10}",
              "{E4B7A219-C35D-4E8F-8D21-7F6A0B9C1D33}", own, "pop.zoe.example"]
    missing = [w for w in wanted if w not in identities] + [w for w in ("pop.home.example", "news.home.example")
                                                             if w not in accounts]
    roots = re.findall(r"Store Root\s+REG_\w+\s+(.*)", identities)  # recorded as Windows paths, not Linux ones
    renamed = re.search(r"\{E4B7A219-C35D-4E8F-8D21-7F6A0B9C1D33\}\n(?:    .*\n)*    Username    REG_SZ    Restored\n",
                        identities)  # the archive's "Work, Ltd." answered with the probe's new name
    if missing or not renamed or identities.count("Work, Ltd.") != 1 or "C:\\users" not in wab or len(roots) != 3 \
            or any(not r.startswith(("C:\\users\\", "%USERPROFILE%\\")) for r in roots):
        raise SystemExit(f"FAIL (d): missing {missing} in\n{identities}\n{accounts}\n{wab}")
    differ = [name for name in ("Mail", "Address Book", "Favorites")
              if tree(os.path.join(first, home, name)) != tree(os.path.join(prefix, home, name))]
    if differ:
        raise SystemExit(f"FAIL (d): {differ} under the second prefix's drive_c differ from the first's")
    print("(d) restore into a second prefix: identities, accounts and address book key back, the clash "
          "renamed; Mail, Address Book and Favorites the same byte for byte")


def main():
    bin_dir = sys.argv[1]
    tool = os.path.join(bin_dir, "stowline-regedit")
    if not shutil.which("wine") or not shutil.which("wineboot"):
        print("SKIP: wine is not installed")
        return 77
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="stowline-wine-")
    os.makedirs(work, exist_ok=True)
    prefix = os.path.join(work, "prefix")
    booted = boot(prefix)
    if booted.returncode != 0 or not os.path.isfile(os.path.join(prefix, "user.reg")):
        print(f"SKIP: wineboot cannot make a prefix here (status {booted.returncode}): "
              f"{booted.stderr.decode(errors='replace')[-300:]}")
        return 77
    part_a(tool, prefix, work)
    part_b(tool, prefix, work)
    part_d(bin_dir, prefix, work, *part_c(bin_dir, prefix, work))
    if len(sys.argv) <= 2:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
