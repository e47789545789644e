#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/ (run again to regenerate)."""
import io
import os
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ID = "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"

REG4 = ("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities\\" + ID + "]\r\n\"Username\"=\"Main \\\"x\\\" \\\\\"\r\n"
        "@=\"default\"\r\n\"n\"=dword:0000001a\r\n\"b\"=hex:01,02,ff,\\\r\n  03\r\n\"m\"=hex(7):41,00,00\r\n"
        "\"x\"=hex(2):25,50,41,54,48,25,00\r\n\"gone\"=-\r\n; comment\r\n# comment\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Old]\r\n[HKEY_CLASSES_ROOT\\.stw]\r\n@=\"Stowline\"\r\n")
SEEDS = {
    "RegFile": {
        "regedit4.reg": REG4.encode(),
        "version5.reg": b"\xff\xfe" + REG4.replace("REGEDIT4", "Windows Registry Editor Version 5.00").encode("utf-16-le"),
        "win31.reg": b"REGEDIT\r\nHKEY_CLASSES_ROOT\\.stw = Stowline\r\n",
        "skipped-lines.reg": b"REGEDIT4\n[HKCU\\x]\n\"a\"=hex:0g\n[ HKEY_CURRENT_USER\\y]\n\"s\"=\"a\\0b\"\n\"d\"=DWORD:1\n",
        "cp1252.reg": b"REGEDIT4\r\n[HKEY_CURRENT_USER\\Caf\xe9]\r\n\"n\"=\"\xe9\"\r\n",
    },
    "CommandLine": {
        "schedule": b"/S", "restore": b"/R\0/tmp/a.stw", "long-restore": b"--restore=/tmp/a b.stw",
        "help": b"--help", "unknown": b"--bogus\0x", "regedit-export": b"/e\0/a\0out.reg\0HKEY_CURRENT_USER\\X",
        "regedit-import": b"-S\0in.reg", "bare-file": b"a.stw",
    },
}


def zip_bytes(members, comment=b"", **options):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, **options) as z:
        for name, data in members:
            z.writestr(name, data)
        z.comment = comment
    return out.getvalue()


def archives():
    inner = zip_bytes([("Inbox.dbx", b"mail " * 50), ("News/a.dbx", b"n")])
    backup = zip_bytes([("stowline_version.txt", b"1,0,375\r\n"), ("ident.idx", ('"Main","' + ID + '"\r\n').encode()),
                        (ID + "/ident_key.reg", REG4.encode()), (ID + "/ident_data.zip", inner),
                        ("ief/ief_data.zip", zip_bytes([("Links/a.url", b"[InternetShortcut]\r\n")]))], b"111")
    stored = io.BytesIO()
    with zipfile.ZipFile(stored, "w", zipfile.ZIP_STORED) as z:
        z.writestr("ident.idx", b'"A ""quoted"" name","' + ID.encode() + b'"\r\n"Lonely"\r\n')
        z.writestr("folder/", b"")
        z.comment = b"100"
    zip64 = io.BytesIO()
    with zipfile.ZipFile(zip64, "w", zipfile.ZIP_DEFLATED) as z:
        with z.open("big.bin", "w", force_zip64=True) as member:
            member.write(b"\0" * 4096)
    return {"backup.stw": backup, "inner.zip": inner, "stored-index.zip": stored.getvalue(),
            "zip64.zip": zip64.getvalue(), "empty.zip": zip_bytes([], b"000")}


def main():
    SEEDS["Archive"] = archives()
    for target, files in SEEDS.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
