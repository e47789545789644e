"""A private Dovecot on 127.0.0.1 for tests and benchmarks: free ports for imaps (TLS at once) and imap
(STARTTLS), a passwd-file user, Maildir below the given folder and a certificate made now by openssl.
The CA file to trust is `cert`."""
import os, pwd, re, socket, subprocess, time

USER, PASSWORD = "tester", "s3cret pass"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Dovecot:
    def __init__(self, folder, extra_config=""):
        self.folder = folder
        os.makedirs(folder)
        for path in (folder, os.path.dirname(folder)):  # the mail user must pass through to its home
            os.chmod(path, os.stat(path).st_mode | 0o011)
        self.cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", self.cert,
                        "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
                       check=True, capture_output=True)
        self.imaps, self.imap = free_port(), free_port()
        home = os.path.join(folder, "home")
        os.makedirs(home)
        # Dovecot keeps no mail as root: as root the mail belongs to nobody, its logins to its own users.
        root = os.getuid() == 0
        mail_user = pwd.getpwnam("nobody") if root else pwd.getpwuid(os.getuid())
        os.chown(home, mail_user.pw_uid, mail_user.pw_gid)
        self.maildir = os.path.join(home, "Maildir")
        with open(os.path.join(folder, "passwd"), "w") as f:
            f.write("%s:{PLAIN}%s:%d:%d::%s\n" % (USER, PASSWORD, mail_user.pw_uid, mail_user.pw_gid, home))
        me = pwd.getpwuid(os.getuid()).pw_name
        login, internal = ("dovenull", "dovecot") if root else (me, me)
        self.config = os.path.join(folder, "dovecot.conf")
        with open(self.config, "w") as f:
            f.write(f"""base_dir = {folder}/run
state_dir = {folder}/state
log_path = {folder}/dovecot.log
instance_name = stowline-test-{self.imaps}
protocols = imap
listen = 127.0.0.1
ssl = yes
ssl_cert = <{self.cert}
ssl_key = <{key}
disable_plaintext_auth = yes
default_login_user = {login}
default_internal_user = {internal}
default_internal_group = {internal}
first_valid_uid = 1
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {folder}/passwd
}}
userdb {{
  driver = passwd-file
  args = {folder}/passwd
}}
mail_location = maildir:{self.maildir}:LAYOUT=fs
service imap-login {{
  chroot =
  inet_listener imap {{
    address = 127.0.0.1
    port = {self.imap}
  }}
  inet_listener imaps {{
    address = 127.0.0.1
    port = {self.imaps}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
{extra_config}
""")
        self.process = subprocess.Popen(["/usr/sbin/dovecot", "-F", "-c", self.config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):  # until it listens: a bounded wait on a connect, not on a clock
            try:
                socket.create_connection(("127.0.0.1", self.imaps), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)

    def wait_for_sessions_to_end(self):
        """Until every logged-in session has ended: a killed client's last appends may still be stored."""
        log = os.path.join(self.folder, "dovecot.log")
        for _ in range(400):
            text = open(log, errors="replace").read()
            if text.count("imap-login: Info: Login:") <= len(re.findall(r"imap\(\S+\)<\d+><[^>]*>: Info: Disconnected", text)):
                return
            time.sleep(0.05)

    def client(self):
        import imaplib, ssl
        box = imaplib.IMAP4_SSL("127.0.0.1", self.imaps, ssl_context=ssl.create_default_context(cafile=self.cert))
        box.login(USER, PASSWORD)
        return box

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
