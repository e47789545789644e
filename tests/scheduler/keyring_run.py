#!/usr/bin/env python3
"""The scheduled run (`stowline /S`, as cron starts it) of an encrypted schedule with no key file, against
a private desktop keyring (tests/support/keyring.py) that holds the passphrase, stored by secret-tool:
unlocked, the archive is written encrypted (7-Zip tests it with the passphrase and refuses it without);
locked, absent or never answering, the run fails within about 10 s with a failure status, a line on stderr,
the ledger and `stowline --status` saying so, and no archive at all. Usage: keyring_run.py BIN_DIR
"""
import os, shutil, subprocess, sys, tempfile, time  # noqa: E401

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "backup"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from fault_runs import Profile, SETTINGS  # noqa: E402
from keyring import Keyring  # noqa: E402

PASSPHRASE = "Quartz-Lantern-Meadow-Tide-7 Ährenfeld"
ENTRY = {"user": "archive passphrase", "server": "Stowline", "type": "plaintext"}
LIMIT = 10  # seconds a run may wait on the keyring, and a few more for the run around it
FAILED = []


def check(label, problems):
    print("%-40s %s" % (label, "FAILED" if problems else "ok"), *("    " + p for p in problems), sep="\n")
    if problems:
        FAILED.append(label)


def encrypted_profile(bin_dir, root):
    profile = Profile(bin_dir, root)
    reg_file = os.path.join(root, "encrypt.reg")
    with open(reg_file, "w", encoding="utf-8") as f:
        f.write('REGEDIT4\r\n\r\n[%s]\r\n"Encrypt"="1"\r\n"KeyFile"=""\r\n' % SETTINGS)
    subprocess.run([profile.tool("stowline-regedit"), "/s", reg_file], env=profile.env, check=True)
    os.unlink(reg_file)
    return profile


def seven_zip_test(archive, passphrase):
    return subprocess.run(["7zz", "t", "-p" + passphrase, archive], capture_output=True).returncode


def run_with(profile, keyring):
    """`stowline /S` and `stowline --status` on this keyring: exit status, stderr, seconds, status line."""
    profile.env.update(keyring.env)
    started = time.monotonic()
    code, err = profile.backup()
    seconds = time.monotonic() - started
    status = subprocess.run([profile.tool("stowline"), "--status"], env=profile.env, capture_output=True,
                            text=True, timeout=60).stdout.strip()
    return code, err, seconds, status


def check_state(bin_dir, work, state):
    profile = encrypted_profile(bin_dir, os.path.join(work, state, "root"))
    with Keyring(os.path.join(work, state, "keyring"), "absent" if state == "absent" else "unlocked") as keyring:
        problems = [] if state == "absent" or keyring.store(PASSPHRASE, "Stowline archive", **ENTRY) else [
            "secret-tool could not store the passphrase"]
        if state == "locked":
            keyring.lock()
        elif state == "silent":
            keyring.freeze()
        code, err, seconds, status = run_with(profile, keyring)
    archives = profile.archives()
    if state == "unlocked":
        written = [os.path.join(profile.backups, a) for a in archives if a.endswith(".stw")]
        if code != 0 or len(written) != 1:
            problems.append("exit %d, archives %r: %s" % (code, archives, err))
        elif seven_zip_test(written[0], PASSPHRASE) != 0 or seven_zip_test(written[0], "wrong") == 0:
            problems.append("7zz t: not an archive encrypted with the kept passphrase")
    else:
        if code in (0, -9) or not err.strip() or "keyring" not in err.lower():
            problems.append("exit %d, stderr %r" % (code, err))
        if archives:
            problems.append("files left in the archive folder: %r" % archives)
        if seconds > LIMIT + 5:
            problems.append("took %.1f s" % seconds)
        if "keyring" not in status.lower():
            problems.append("--status says %r" % status)
    check("keyring %s" % state, problems)


def main():
    work = tempfile.mkdtemp(prefix="stowline-keyring-run-")
    try:
        for state in ("unlocked", "locked", "absent", "silent"):
            check_state(os.path.abspath(sys.argv[1]), work, state)
    finally:
        if not os.environ.get("KEEP"):
            shutil.rmtree(work, ignore_errors=True)
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
