#!/usr/bin/env python3
"""Uploading a store of mail-like messages to a private Dovecot (tests/mail/dovecot.py): Stowline's
--upload-mail against mbsync (isync) pushing the same messages, exported as a Maildir, to the same
server, timed in turn by bench/pairs.py. Every run starts on an empty target folder and without the
upload record or mbsync's state. Usage: upload_bench.py BUILD_BIN WORK_DIR [MEGABYTES] [MESSAGES] [RUNS]
"""
import os, random, shutil, subprocess, sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "mail"))
from dbxgen import Message, sample_message, write_store  # noqa: E402
from dovecot import Dovecot, USER, PASSWORD  # noqa: E402


def store(path, megabytes, count):
    """`count` messages of mixed sizes adding up to about `megabytes`, a third of them unread."""
    rng = random.Random(count)
    mean = (megabytes << 20) // count
    messages = []
    for n in range(1, count + 1):
        size = max(600, int(rng.expovariate(1 / mean)))
        attach = rng.randbytes(size * 3 // 4) if size > 20000 else b""
        text = sample_message(n, size - len(attach) * 4 // 3 if attach else size, attachment=attach)
        messages.append(Message(text, n, b"Note %d" % n, b"S", b"s@example.org", 1_000_000_000 + n * 611, n % 3 != 0))
    write_store(path, "Inbox", messages)
    return sum(len(m.text) for m in messages)


def main():
    bin_dir, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    megabytes = int(sys.argv[3]) if len(sys.argv) > 3 else 500
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 15000
    runs = sys.argv[5] if len(sys.argv) > 5 else "3"
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    env = dict(os.environ)
    out = subprocess.run([os.path.join(bin_dir, "stowline-sample-profile"), work + "/sb"], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        name, value = line[len("export "):].split("=", 1)
        env[name] = value.strip("'")
    for top, _, files in os.walk(work + "/sb/home/Mail"):
        for name in files:
            if name.endswith(".dbx"):
                os.unlink(os.path.join(top, name))
    print("store: %d bytes of message text" % store(work + "/sb/home/Mail/Main Identity/Inbox.dbx", megabytes, count))
    env.pop("DISPLAY", None)
    env["QT_QPA_PLATFORM"] = "offscreen"
    subprocess.run([bin_dir + "/stowline", "--export-mail", work + "/md", "--format", "maildir"], env=env, check=True,
                   capture_output=True)
    # The server does not sync: on a shared machine the disk would time the others, not the clients.
    dovecot = Dovecot(work + "/dovecot", "mailbox_list_index = no\nmail_fsync = never\n")
    try:
        password = work + "/password"
        with open(password, "w") as f:
            f.write(PASSWORD + "\n")
        os.chmod(password, 0o600)
        with open(work + "/mbsyncrc", "w") as f:
            f.write(f"""IMAPAccount bench
Host 127.0.0.1
Port {dovecot.imaps}
User {USER}
PassCmd "cat {password}"
SSLType IMAPS
CertificateFile {dovecot.cert}

IMAPStore far
Account bench
Path "Pushed/"

MaildirStore near
Path {work}/md/
SubFolders Verbatim

Channel push
Far :far:
Near :near:
Patterns *
Create Far
Sync Push
SyncState *
""")
        target = os.path.join(dovecot.maildir, "Old Mail")
        record = os.path.join(env["HOME"], ".local", "state", "stowline")
        a = ('rm -rf "%s" "%s"; exec %s/stowline --upload-mail imaps://%s@127.0.0.1:%d '
             "--password-file %s --ca-file %s" % (target, record, bin_dir, USER, dovecot.imaps, password, dovecot.cert))
        b = ("sh -c 'rm -rf %s/Pushed; find %s/md -name \".mbsyncstate*\" -delete; exec mbsync -q -c %s/mbsyncrc push'"
             % (dovecot.maildir, work, work))
        subprocess.run(["uptime"])
        subprocess.run([os.path.join(os.path.dirname(os.path.abspath(__file__)), "pairs.py"), "-n", runs, "--timeout", "3000", "--vs", b, "--", "sh", "-c", a], env=env)
        subprocess.run(["uptime"])
    finally:
        dovecot.stop()


if __name__ == "__main__":
    main()
