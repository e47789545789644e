#!/usr/bin/env python3
"""Makes the Nth write, fsync, rename or mkdir of a scheduled backup (`stowline /S`, and of its
registry store) and of a restore (stowline-restore-probe) fail with ENOSPC or EIO, or kills the
process right there (SIGKILL, at the call itself: no timing guesses), on the sample profile. After
each run:

- backup (started as cron starts it: no display, umask 0): the run reports the failure and ends by
  itself; the archive written before under the same name is byte for byte what it was and `unzip -t`
  passes; no partial archive is left under a final name; the workspace is gone (after a kill: closed
  to others, and gone after the next run, which completes); the registry is unchanged;
- restore (kills only): the next run removes the workspace, completes and gives back exactly the
  files that were backed up.

    fault_runs.py BIN_DIR [--points N]
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "restore"))
from hostile_archives import sandbox, registry_snapshot  # noqa: E402

SETTINGS = "HKEY_CURRENT_USER\\SOFTWARE\\Velmora\\Stowline\\1.0"
KINDS = ("write", "fsync", "rename", "mkdir")
# The registry store's writes too: one failing at start-up left `stowline /S` waiting for an answer.
BACKUP_KINDS = KINDS + ("dbwrite",)


class Profile:
    def __init__(self, bin_dir, root):
        self.bin_dir, self.root = bin_dir, root
        self.env = sandbox(bin_dir, root)
        self.backups = os.path.join(root, "Backups")
        self.workspace = os.path.join(root, "tmp", "stowline-%d" % os.getuid(), "stowline")
        reg_file = os.path.join(root, "schedule.reg")
        with open(reg_file, "w", encoding="utf-8") as f:
            f.write('REGEDIT4\r\n\r\n[%s]\r\n"Schedule"="1"\r\n"Delete"="1"\r\n"Items"="111"\r\n"Filename"="Mail"\r\n'
                    '"Pathname"="%s"\r\n"TimesRun"="1"\r\n"LaunchOE"="0"\r\n' % (SETTINGS, self.backups))
        subprocess.run([self.tool("stowline-regedit"), "/s", reg_file], env=self.env, check=True)
        os.unlink(reg_file)

    def tool(self, name):
        return os.path.join(self.bin_dir, name)

    def run(self, program, args, fault=None):
        env = dict(self.env, **({"STOWLINE_FAIL_FILE_CALL": fault} if fault else {}))
        if program == "stowline":  # as cron or a systemd timer starts it: no display, an open umask
            for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
                env.pop(name, None)
        done = subprocess.run([self.tool(program)] + args, env=env, capture_output=True,
                              text=True, errors="replace", timeout=120,
                              preexec_fn=(lambda: os.umask(0)) if program == "stowline" else None)
        return done.returncode, done.stderr

    def backup(self, fault=None):
        return self.run("stowline", ["/S"], fault)

    def archives(self):
        return sorted(os.listdir(self.backups)) if os.path.isdir(self.backups) else []

    def mail_files(self):
        """Every file of the stores, the address book and the Favorites: relative path -> hash."""
        home = os.path.join(self.root, "home")
        return {os.path.relpath(os.path.join(top, name), home): digest(os.path.join(top, name))
                for sub in ("Mail", "Address Book", "Favorites")
                for top, _, files in os.walk(os.path.join(home, sub)) for name in files}


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def open_to_others(folder):
    """The folder and what is below it that group or others may use."""
    return [p for top, _, files in os.walk(folder) for p in [top] + [os.path.join(top, n) for n in files]
            if os.lstat(p).st_mode & 0o77]


def unzip_ok(path):
    return subprocess.run(["unzip", "-tqq", path], capture_output=True).returncode == 0


def points(count):
    """1, 2, 3, 5, 8, ...: the early calls one by one, later ones ever further apart."""
    spread, a, b = [], 1, 2
    while len(spread) < count:
        spread.append(a)
        a, b = b, a + b
    return spread


class Report:
    """Prints each run's checks; counts the runs that failed them."""
    def __init__(self):
        self.failed = 0

    def check(self, label, problems):
        print("%-40s %s" % (label, "FAILED" if problems else "ok"))
        for problem in problems:
            print("    " + problem)
        self.failed += bool(problems)


def fired(stderr):
    return "(STOWLINE_FAIL_FILE_CALL)" in stderr


def profile_registry(profile, out_file):
    """The registry without Stowline's own settings, which count every start, a failed one too."""
    keys = registry_snapshot(profile.bin_dir, profile.env, out_file)
    return {key: values for key, values in keys.items() if "\\Software\\Velmora" not in key}


def backup_faults(profile, archive, registry, count, report):
    before = digest(archive)
    for error in ("ENOSPC", "EIO", "KILL"):
        for kind in BACKUP_KINDS:
            for n in points(count):
                # The parent alone: its regedit children's calls fail in failed_exports.
                status, stderr = profile.backup("%s:%d:%s:stowline" % (kind, n, error))
                if not fired(stderr):  # past the last such call: the run completed and replaced it
                    before = digest(archive)
                    break
                problems = []
                if error == "KILL":
                    if status != -9:
                        problems.append("exit %d after the kill" % status)
                elif status not in (1, 2):
                    problems.append("exit %d" % status)
                elif "the scheduled backup failed" not in stderr and "was not written" not in stderr:
                    problems.append("no failure reported: " + stderr.strip()[-300:])
                if digest(archive) != before or not unzip_ok(archive):
                    problems.append("the older archive changed or is damaged")
                if error == "KILL":
                    if open_to_others(profile.workspace):
                        problems.append("left open to others: %s" % open_to_others(profile.workspace))
                    again, stderr_again = profile.backup()
                    if again != 0 or not unzip_ok(archive):
                        problems.append("the next run did not complete: exit %d %s" % (again, stderr_again[-300:]))
                    before = digest(archive)
                if profile.archives() != [os.path.basename(archive)]:  # a kill's part file goes with the next run
                    problems.append("left in the archive folder: %s" % profile.archives())
                if os.path.lexists(profile.workspace):
                    problems.append("workspace left behind")
                if profile_registry(profile, os.path.join(profile.root, "r.reg")) != registry:
                    # A put-back that the failing store itself refused is the next run's first step.
                    profile.backup()
                    before = digest(archive)
                    if profile_registry(profile, os.path.join(profile.root, "r.reg")) != registry:
                        problems.append("registry changed, and the next run did not put it back")
                report.check("backup %s %s %d" % (kind, error, n), problems)


def failed_disk_work(profile, archive, report):
    """A large archive is handed to the disk and its cache flushed beside the writing, on a thread of
    its own: a disk that fails either must fail the run, as the file's error is told only once and the
    last sync would pass; a file system that cannot hand over early (EINVAL) gets it all at that sync."""
    store = next(top for top, _, names in os.walk(os.path.join(profile.root, "home", "Mail"))
                 if any(n.endswith(".dbx") for n in names))
    big = os.path.join(store, "Big.dbx")
    with open(big, "wb") as f:
        f.write(os.urandom(48 << 20))
    for fault, expected in (("fsync:1:EIO", (1, 2)), ("writeback:3:EIO", (1, 2)), ("writeback:2:EINVAL", (0,))):
        before = digest(archive)
        status, stderr = profile.backup(fault + ":stowline")
        problems = [] if status in expected and fired(stderr) else ["exit %d: %s" % (status, stderr.strip()[-300:])]
        if status != 0 and digest(archive) != before:
            problems.append("the older archive changed")
        if not unzip_ok(archive):
            problems.append("the archive in place is damaged")
        report.check("backup of 48 MiB more, %s" % fault, problems)
    os.unlink(big)


def failed_exports(profile, archive, report):
    """The address book's key is exported beside the identities': when the children fail, the run
    waits for them all, names the first key and ends without writing, leaving the older archive."""
    before = digest(archive)
    status, stderr = profile.backup("rename:1:EIO:stowline-regedit")
    problems = [] if status == 2 and fired(stderr) else ["exit %d: %s" % (status, stderr.strip()[-300:])]
    if stderr.count("could not be exported") != 1 or " in  at line" in stderr:
        problems.append("not one clear failure: " + stderr.strip()[-300:])
    if digest(archive) != before or not unzip_ok(archive):
        problems.append("the older archive changed or is damaged")
    if os.path.lexists(profile.workspace):
        problems.append("workspace left behind")
    report.check("backup, every registry export failing", problems)


def failed_folder_sync(profile, archive, report):
    """The archive's name is durable only once its folder is synced after the rename: a disk that fails
    that sync fails the run, though the complete archive is already in place; a file system that
    syncs no folders (EINVAL) does not."""
    for error, expected in (("EIO", (1, 2)), ("EINVAL", (0,))):
        status, stderr = profile.backup("foldersync:1:%s:stowline" % error)
        problems = [] if status in expected and fired(stderr) else ["exit %d: %s" % (status, stderr.strip()[-300:])]
        if not unzip_ok(archive):
            problems.append("the archive in place is damaged")
        report.check("backup, folder sync after the rename %s" % error, problems)


def restore_kills(profile, archive, files, count, report):
    """A restore killed at a call: the next run removes the workspace and completes. Failing calls
    that return are the rollback test's."""
    for kind in KINDS:
        for n in points(count):
            status, stderr = profile.run("stowline-restore-probe", [archive], "%s:%d:KILL" % (kind, n))
            if not fired(stderr):
                break
            problems = [] if status == -9 else ["exit %d: %s" % (status, stderr.strip()[-300:])]
            again, stderr_again = profile.run("stowline-restore-probe", [archive])
            if again != 0:
                problems.append("the restore run again did not complete: exit %d %s" % (again, stderr_again[-300:]))
            if os.path.lexists(profile.workspace):
                problems.append("workspace left behind by the run after")
            if profile.mail_files() != files:
                problems.append("restored files differ from the backed-up ones")
            report.check("restore %s KILL %d" % (kind, n), problems)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--points", type=int, default=3, help="calls tried per kind and error")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="stowline-faults-")
    report = Report()
    try:
        profile = Profile(args.bin_dir, os.path.join(work, "profile"))
        status, stderr = profile.backup()
        if status != 0 or len(profile.archives()) != 1:
            print("the first backup failed: exit %d %s" % (status, stderr))
            return 1
        # A run ends without unwinding; its registry lock must go all the same.
        report.check("lock file gone after a backup",
                     ["left: " + profile.env["STOWLINE_REGISTRY"] + ".lock"]
                     if os.path.exists(profile.env["STOWLINE_REGISTRY"] + ".lock") else [])
        archive = os.path.join(profile.backups, profile.archives()[0])
        registry = profile_registry(profile, os.path.join(work, "r.reg"))
        files = profile.mail_files()
        backup_faults(profile, archive, registry, args.points, report)
        failed_disk_work(profile, archive, report)
        failed_exports(profile, archive, report)
        failed_folder_sync(profile, archive, report)
        restore_kills(profile, archive, files, args.points, report)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d runs failed their checks" % report.failed)
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
