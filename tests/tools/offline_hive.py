#!/usr/bin/env python3
"""An offline Windows profile: the sample profile's registry written into an NTUSER.DAT through the
hivex C API, its folders as the Windows disk; `stowline --profile … --windows-root … /S` must give
the archive members a backup of the same data in the store gives. Usage: offline_hive.py BIN_DIR"""
import ctypes, functools, operator, os, struct, subprocess, sys, tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_prefix import backup, members, read_export, sample_profile, schedule, windows_reg  # noqa: E402


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


class SetValue(ctypes.Structure):
    _fields_ = [("key", ctypes.c_char_p), ("t", ctypes.c_int), ("len", ctypes.c_size_t), ("value", ctypes.c_char_p)]


def native(type_, data):
    if type_ in (1, 2, 7):
        return data.encode("utf-16-le") + b"\0\0"
    if type_ == 4:
        return struct.pack("<I", data)
    return data


def build_hive(path, reg_text):
    """Keys and values of a version 5 export under HKEY_CURRENT_USER into the hive at path."""
    hivex = ctypes.CDLL("libhivex.so.0")
    hivex.hivex_open.restype = ctypes.c_void_p
    for node_result in (hivex.hivex_root, hivex.hivex_node_get_child, hivex.hivex_node_add_child):
        node_result.restype = ctypes.c_size_t
    h = ctypes.c_void_p(hivex.hivex_open(path.encode(), 4))
    if not h:
        raise SystemExit(f"FAIL: hivex cannot open the empty hive: errno {ctypes.get_errno()}")
    export = path + ".reg"
    open(export, "wb").write(b"\xff\xfe" + reg_text.encode("utf-16-le"))
    keys = {key[len("HKEY_CURRENT_USER"):].strip("\\"): values for key, values in read_export(export, str).items()}
    os.unlink(export)
    for path_, values in keys.items():
        node = hivex.hivex_root(h)
        for part in [p for p in path_.split("\\") if p]:
            child = hivex.hivex_node_get_child(h, ctypes.c_size_t(node), part.encode())
            node = child or hivex.hivex_node_add_child(h, ctypes.c_size_t(node), part.encode())
        array = (SetValue * max(1, len(values)))()
        keep = []
        for j, (name, (type_, data)) in enumerate(values.items()):
            blob = native(type_, data)
            keep.append(blob)
            array[j] = SetValue(name.encode(), type_, len(blob), blob)
        if values and hivex.hivex_node_set_values(h, ctypes.c_size_t(node), ctypes.c_size_t(len(values)), array, 0):
            raise SystemExit(f"FAIL: hivex cannot set the values of {path_}")
    if hivex.hivex_commit(h, None, 0):
        raise SystemExit("FAIL: hivex cannot write the hive")
    hivex.hivex_close(h)


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
        print(f"backup of the offline profile: {len(archives['hive'])} members as from the store")
    return 0


if __name__ == "__main__":
    sys.exit(main())
