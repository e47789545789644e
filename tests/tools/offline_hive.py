#!/usr/bin/env python3
"""An offline Windows profile: the sample profile's registry merged into an NTUSER.DAT by hivex's
hivexregedit, its folders as the Windows disk; `stowline --profile … --windows-root … /S` must give
the archive members a backup of the same data in the store gives. Usage: offline_hive.py BIN_DIR"""
import functools, operator, os, struct, subprocess, sys, tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_prefix import backup, members, sample_profile, schedule, windows_reg  # noqa: E402


def empty_hive(path):
    """A hive with a root key and its security cell: what hivex needs to add keys to."""
    root_off, sk_off = 0x20, 0x78  # the root cell takes 88 bytes
    name = b"ROOT"
    nk = struct.pack("<2sHQIIIIIIIIIIIIIIIHH", b"nk", 0x2C, 0, 0, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF,
                     0, 0xFFFFFFFF, sk_off, 0xFFFFFFFF, 0, 0, 0, 0, 0, len(name), 0) + name
    sd = struct.pack("<BBHIIII", 1, 0, 0x8004, 0, 0, 0, 0)
    sk = struct.pack("<2sHIIII", b"sk", 0, sk_off, sk_off, 1, len(sd)) + sd
    hbin = bytearray(4096)
    hbin[0:32] = struct.pack("<4sIIQQI", b"hbin", 0, 4096, 0, 0, 0)
    for offset, cell in ((root_off, nk), (sk_off, sk)):
        size = (len(cell) + 4 + 7) & ~7
        hbin[offset:offset + 4] = struct.pack("<i", -size)
        hbin[offset + 4:offset + 4 + len(cell)] = cell
        end = offset + size
    hbin[end:end + 4] = struct.pack("<i", 4096 - end)
    header = bytearray(4096)
    header[0:0x30] = struct.pack("<4sIIQIIIIIII", b"regf", 1, 1, 0, 1, 3, 0, 1, root_off, 4096, 1)
    struct.pack_into("<I", header, 0x1FC, functools.reduce(operator.xor, struct.unpack_from("<127I", header)))
    open(path, "wb").write(bytes(header) + bytes(hbin))


def build_hive(path, reg_text):
    """Keys and values of a version 5 export under HKEY_CURRENT_USER merged into the hive at path."""
    source = path + ".reg"
    open(source, "w", encoding="utf-8").write(reg_text.replace("\r\n", "\n"))
    # hivexregedit reads and writes text in the locale's encoding unless Perl is told UTF-8.
    subprocess.run(["hivexregedit", "--merge", "--prefix", "HKEY_CURRENT_USER", path, source],
                   env=dict(os.environ, PERL_UNICODE="SD"), check=True)
    os.unlink(source)


def main():
    bin_dir = sys.argv[1]
    tool = os.path.join(bin_dir, "stowline-regedit")
    with tempfile.TemporaryDirectory(prefix="stowline-hive-") as work:
        root = os.path.join(work, "sample")
        env = sample_profile(bin_dir, root)
        folders = {label: os.path.join(work, "archives-" + label) for label in ("store", "hive")}
        # The hive carries the schedule too: nothing the program sets in it outlives the run.
        schedule(tool, folders["hive"], work, [], env)
        export = os.path.join(work, "store.reg")
        subprocess.run([tool, "/e", export, "HKEY_CURRENT_USER"], env=env, check=True)
        text = open(export, "rb").read()[2:].decode("utf-16-le")
        # The sandbox is the Windows disk: <root>/home is C:\\home, the profile folder.
        hive = os.path.join(root, "home", "NTUSER.DAT")
        empty_hive(hive)
        build_hive(hive, windows_reg(text, root, "C:\\home"))
        schedule(tool, folders["store"], work, [], env)
        archives = {}
        for label, extra in (("store", []), ("hive", ["--profile", hive, "--windows-root", root])):
            os.makedirs(folders[label])
            archives[label] = members(backup(bin_dir, extra, env, folders[label], label))
        if archives["store"] != archives["hive"] or len(archives["hive"]) < 10:
            only = sorted(set(archives["store"]) ^ set(archives["hive"]))
            raise SystemExit(f"FAIL: members only in one archive: {only}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
