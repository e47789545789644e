#!/usr/bin/env python3
"""Zip64 for real (a long test, `ctest -L long`): the sample profile's main store also holds a sparse
5 GiB file and 70,000 small files. A scheduled backup must write an archive that `unzip -t` and
Python's zipfile accept, and a restore onto the emptied store must give back every file byte for byte.

    zip64_long.py BIN_DIR [--keep DIR]
"""
import argparse, hashlib, os, shutil, subprocess, sys, tempfile, time, zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "backup"))
from fault_runs import Profile  # noqa: E402

ID = "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"  # the sample profile's main identity


def tree_digest(folder):
    """relative path -> (size, sha1), read in pieces."""
    found = {}
    for top, _, files in os.walk(folder):
        for name in files:
            path, sha = os.path.join(top, name), hashlib.sha1()
            with open(path, "rb") as f:
                for piece in iter(lambda: f.read(1 << 22), b""):
                    sha.update(piece)
            found[os.path.relpath(path, folder)] = (os.path.getsize(path), sha.hexdigest())
    return found


def fail(message):
    print(message)
    return 1


def check(work, profile, store):
    with open(os.path.join(store, "sparse.bin"), "wb") as f:
        f.truncate(5 << 30)
        f.seek(5 << 29)
        f.write(b"middle")
    for i in range(70_000):
        os.makedirs(os.path.join(store, "many", "%03d" % (i // 1000)), exist_ok=True)
        with open(os.path.join(store, "many", "%03d" % (i // 1000), "%05d.txt" % i), "w") as f:
            f.write("file %d\n" % i)
    before = tree_digest(store)
    start = time.monotonic()
    status, stderr = profile.backup()
    print("scheduled backup: %.1f s" % (time.monotonic() - start), flush=True)
    if status != 0:
        return fail("backup failed: exit %d %s" % (status, stderr))
    archive = os.path.join(profile.backups, profile.archives()[0])
    # The store travels as an inner zip: that is where the 5 GiB member and the 70,000 entries are.
    inner = os.path.join(work, "ident_data.zip")
    with zipfile.ZipFile(archive) as outer:
        name = next(n for n in outer.namelist() if n.startswith(ID) and n.endswith("/ident_data.zip"))
        with outer.open(name) as source, open(inner, "wb") as target:
            shutil.copyfileobj(source, target, 1 << 20)
    for path in (archive, inner):
        if subprocess.run(["unzip", "-tqq", path]).returncode:
            return fail("unzip -t fails on " + path)
        with zipfile.ZipFile(path) as z:
            if z.testzip():
                return fail("Python's zipfile finds %s damaged in %s" % (z.testzip(), path))
    shutil.rmtree(store)
    status, stderr = profile.restore(archive)
    if status != 0:
        return fail("restore failed: exit %d %s" % (status, stderr[-2000:]))
    after = tree_digest(store)
    if after != before:
        return fail("restored store differs, e.g. %s" % sorted(set(before) ^ set(after))[:5])
    print("restored %d files byte for byte" % len(after))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--keep")
    args = parser.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="stowline-zip64-")
    try:
        profile = Profile(args.bin_dir, os.path.join(work, "profile"))
        return check(work, profile, os.path.join(profile.root, "home", "Mail", "Main Identity"))
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
