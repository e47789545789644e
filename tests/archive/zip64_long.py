#!/usr/bin/env python3
"""Zip64 for real (a long test, `ctest -L long`): the sample profile's main store also holds a sparse
5 GiB file and 70,000 small files. A scheduled backup must write an archive that `unzip -t` and
Python's zipfile accept, and a restore onto the emptied store must give back every file byte for byte.

    zip64_long.py BIN_DIR [--keep DIR]
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "backup"))
from fault_runs import Profile  # noqa: E402

ID = "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"  # the sample profile's main identity
SPARSE_BYTES = 5 << 30
SMALL_FILES = 70_000


def tree_digest(folder):
    """relative path -> (size, sha1), read in pieces."""
    found = {}
    for top, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(top, name)
            sha = hashlib.sha1()
            with open(path, "rb") as f:
                for piece in iter(lambda: f.read(1 << 22), b""):
                    sha.update(piece)
            found[os.path.relpath(path, folder)] = (os.path.getsize(path), sha.hexdigest())
    return found


def timed(label, work):
    start = time.monotonic()
    result = work()
    print("%-45s %.1f s" % (label, time.monotonic() - start), flush=True)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--keep")
    args = parser.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="stowline-zip64-")
    try:
        profile = Profile(args.bin_dir, os.path.join(work, "profile"))
        store = os.path.join(profile.root, "home", "Mail", "Main Identity")
        with open(os.path.join(store, "sparse.bin"), "wb") as f:
            f.truncate(SPARSE_BYTES)
            f.seek(SPARSE_BYTES // 2)
            f.write(b"middle")
        for i in range(SMALL_FILES):
            folder = os.path.join(store, "many", "%03d" % (i // 1000))
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "%05d.txt" % i), "w") as f:
                f.write("file %d\n" % i)
        before = timed("digest of the store", lambda: tree_digest(store))
        status, stderr = timed("scheduled backup", profile.backup)
        if status != 0:
            print("backup failed: exit %d %s" % (status, stderr))
            return 1
        archive = os.path.join(profile.backups, profile.archives()[0])
        print("archive %s: %d bytes" % (archive, os.path.getsize(archive)))
        # The store travels as an inner zip: that is where the 5 GiB member and the 70,000 entries are.
        inner = os.path.join(work, "ident_data.zip")
        with zipfile.ZipFile(archive) as outer:
            name = next(n for n in outer.namelist() if n.startswith(ID) and n.endswith("/ident_data.zip"))
            with outer.open(name) as source, open(inner, "wb") as target:
                shutil.copyfileobj(source, target, 1 << 20)
        for path in (archive, inner):
            if timed("unzip -t " + os.path.basename(path), lambda: subprocess.run(["unzip", "-tqq", path]).returncode):
                print("unzip -t fails on " + path)
                return 1
            with zipfile.ZipFile(path) as z:
                bad = timed("Python zipfile reads every member", z.testzip)
                print("%s: %d members, damaged: %s" % (os.path.basename(path), len(z.namelist()), bad))
                if bad:
                    return 1
        shutil.rmtree(store)
        status, stderr = timed("restore", lambda: profile.restore(archive))
        if status != 0:
            print("restore failed: exit %d %s" % (status, stderr[-2000:]))
            return 1
        after = timed("digest of the restored store", lambda: tree_digest(store))
        if after != before:
            missing = set(before) ^ set(after)
            print("restored store differs: %d files; e.g. %s" % (len(missing), sorted(missing)[:5]))
            return 1
        print("restored %d files byte for byte" % len(after))
        return 0
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
