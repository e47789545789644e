#!/usr/bin/env python3
"""Registry sources that cannot be used: stowline ends with status 4 and stowline-regedit with 1, each
with one line naming the file or link, and nothing in the source or beside it is written.
Usage: bad_sources.py BIN_DIR"""
import os, subprocess, sys, tempfile

USER_REG = ("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
            "#arch=win64\n\n[Identities] 1796583412\n#time=1dd85b38e3d5eb8\n\"Last User ID\"=\"{0}\"\n\n"
            "[Software\\\\Microsoft\\\\WAB\\\\WAB4] 1796583412\n#time=1dd85b38e3d5eb8\n"
            "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
            "  16,17,18\n")


def prefix(root, user_reg=USER_REG, links=(("c:", "../drive_c"),)):
    os.makedirs(os.path.join(root, "drive_c"))
    os.makedirs(os.path.join(root, "dosdevices"))
    for name, target in links:
        os.symlink(target, os.path.join(root, "dosdevices", name))
    open(os.path.join(root, "user.reg"), "w").write(user_reg)
    open(os.path.join(root, "system.reg"), "w").write("WINE REGISTRY Version 2\n")
    return root


def broken(user_reg):
    """A prefix whose user.reg is the given text; the message must name that file."""
    return lambda d: (["--wine-prefix", prefix(d, user_reg)], d + "/user.reg")


# name, how to build the source in a folder (returns the options and the path the message names)
CASES = [
    ("truncated user.reg", broken(USER_REG[:-12])),
    ("key line never closes", broken(USER_REG.replace("[Identities]", "[Identities"))),
    ("no header", broken(USER_REG.split("\n", 1)[1])),
    # Past Windows' limits (a crash once, from recursion): refused like any file Wine would not write.
    ("key chain 100,000 levels deep", broken(USER_REG.replace("[Identities]", "[Identities" + "\\\\a" * 100000 + "]"))),
    ("value name past 16,383 characters", broken(USER_REG.replace("Last User ID", "n" * 16384))),
    ("prefix missing", lambda d: (["--wine-prefix", d + "/nowhere"], d + "/nowhere")),
    ("folder without user.reg", lambda d: (["--wine-prefix", d], d + "/user.reg")),
    ("dangling dosdevices link",
     lambda d: (["--wine-prefix", prefix(d, links=(("c:", "../drive_c"), ("d:", "/media/no-such-cdrom")))],
                d + "/dosdevices/d:")),
    ("hive that is not a hive",
     lambda d: (open(d + "/NTUSER.DAT", "w").write("REGEDIT4\r\n") and
                ["--profile", d + "/NTUSER.DAT", "--windows-root", d], d + "/NTUSER.DAT")),
]


def snapshot(folder):
    paths = [os.path.join(base, name) for base, dirs, files in os.walk(folder) for name in dirs + files]
    return {path: (os.lstat(path).st_mtime_ns, os.path.isfile(path) and open(path, "rb").read()) for path in paths}


def main():
    bin_dir = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory(prefix="stowline-bad-") as work:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=work + "/home", TMPDIR=work,
                   STOWLINE_REGISTRY=work + "/registry.db")
        for name, build in CASES:
            folder = os.path.join(work, name.replace(" ", "-"))
            os.makedirs(folder)
            options, named = build(folder)
            before = snapshot(folder)
            export = os.path.join(work, "export.reg")
            runs = [([bin_dir + "/stowline", *options, "/S"], 4)]
            if "dosdevices" not in name:  # drive links matter only to the program's paths
                runs.append(([bin_dir + "/stowline-regedit", *options, "/e", export, "HKEY_CURRENT_USER"], 1))
            for command, status in runs:
                result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
                message = [line for line in result.stderr.decode().splitlines() if named in line]
                tool = os.path.basename(command[0])
                if result.returncode != status or not message:
                    failures.append(f"{name}, {tool}: status {result.returncode} (want {status}), "
                                    f"stderr {result.stderr.decode()!r}")
            if snapshot(folder) != before or os.path.exists(export):
                failures.append(f"{name}: something was written")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
