"""A private desktop keyring for tests: a session bus of its own (nothing started on demand) and, unless the
state is "absent", gnome-keyring-daemon's Secret Service on it with its files below the given folder.
"unlocked" unlocks the login keyring with a known password, "locked" starts on that keyring never unlocked;
`freeze` makes one that never answers.
`env` is what a program needs to use it (the bus address alone); `lookup` reads an entry back with secret-tool.

    with Keyring(folder, "unlocked") as keyring: subprocess.run(..., env=dict(env, **keyring.env))
"""
import os, signal, subprocess  # noqa: E401

LOGIN_PASSWORD = "keyring login 7"
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class Keyring:
    def __init__(self, folder, state="unlocked"):
        assert state in ("unlocked", "locked", "absent")
        self.processes = []
        home, runtime = os.path.join(folder, "home"), os.path.join(folder, "runtime")
        for path in (home, runtime):
            os.makedirs(path, 0o700, exist_ok=True)
        config = os.path.join(folder, "bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG % os.path.join(runtime, "bus"))
        self.own_env = {"HOME": home, "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
                        "XDG_CONFIG_HOME": os.path.join(home, ".config"), "XDG_RUNTIME_DIR": runtime}
        bus = self.start(["dbus-daemon", "--nofork", "--config-file", config, "--print-address=1"])
        self.env = {"DBUS_SESSION_BUS_ADDRESS": bus.stdout.readline().decode().strip()}
        self.own_env.update(self.env)
        self.daemon = None
        if state != "absent":
            self.daemon = self.start_daemon(unlock=True)
        if state == "locked":
            self.lock()

    def lock(self):
        """As after a restart of the session that nobody logged in to: the login keyring kept, locked."""
        self.stop(self.daemon)
        self.daemon = self.start_daemon(unlock=False)

    def freeze(self):
        """As a keyring waiting on a person who is not there: it keeps its name on the bus and never answers."""
        self.daemon.send_signal(signal.SIGSTOP)

    def start(self, args, **kw):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("DBUS_", "XDG_", "GNOME_KEYRING"))}
        process = subprocess.Popen(args, env=dict(env, **self.own_env), stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, **kw)
        self.processes.append(process)
        return process

    def start_daemon(self, unlock):
        args = ["gnome-keyring-daemon", "--foreground", "--components=secrets"] + (["--unlock"] if unlock else [])
        daemon = self.start(args, stdin=subprocess.PIPE)
        if unlock:
            daemon.stdin.write(LOGIN_PASSWORD.encode())
        daemon.stdin.close()
        # Until it owns its name on the bus: gdbus waits for that signal, not on a clock.
        self.run_tool(["gdbus", "wait", "--session", "--timeout", "20", "org.freedesktop.secrets"])
        return daemon

    def run_tool(self, args, input=None):
        return subprocess.run(args, env=dict(os.environ, **self.own_env), input=input, capture_output=True,
                              text=True, timeout=30)

    def lookup(self, **attributes):
        """The secret stored under these attributes, read with secret-tool; None when there is none."""
        args = ["secret-tool", "lookup"] + [x for pair in attributes.items() for x in pair]
        done = self.run_tool(args)
        return done.stdout if done.returncode == 0 else None

    def store(self, secret, label, **attributes):
        args = ["secret-tool", "store", "--label", label] + [x for pair in attributes.items() for x in pair]
        return self.run_tool(args, input=secret).returncode == 0

    def stop(self, process=None):
        for p in [process] if process else list(reversed(self.processes)):
            if p.poll() is None:
                p.send_signal(signal.SIGCONT)
                p.terminate()
                p.wait(timeout=30)
            self.processes.remove(p)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()
