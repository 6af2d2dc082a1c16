"""A PostgreSQL 15 server of the test's own: made with initdb in a temporary folder, run as an
unprivileged user when the test runs as root, listening only on a Unix socket in that folder."""
import os
import shutil
import subprocess
import tempfile

PG_BIN = "/usr/lib/postgresql/15/bin/"


class Server:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="orvane-pg-")
        if os.geteuid() == 0:
            shutil.chown(self.folder, "nobody", "nogroup")
        self.run("initdb", "-D", self.folder + "/data", "-A", "trust", "-U", "orvane", "--no-sync")
        self.start()
        self.uri = f"postgresql://orvane@/postgres?host={self.folder}"

    def run(self, program, *args):
        command = [PG_BIN + program, *args]
        if os.geteuid() == 0:
            command = ["runuser", "-u", "nobody", "--"] + command
        subprocess.run(command, check=True, capture_output=True)

    def start(self):
        options = f"-c listen_addresses='' -k {self.folder} -c fsync=off"
        self.run("pg_ctl", "-D", self.folder + "/data", "-l", self.folder + "/log", "-w", "-o", options, "start")

    def stop(self, check=True):
        try:
            self.run("pg_ctl", "-D", self.folder + "/data", "-w", "-m", "fast", "stop")
        except subprocess.CalledProcessError:
            if check:
                raise

    def count(self):
        query = "SELECT count(*), count(DISTINCT id) FROM records"
        out = subprocess.run(["psql", "-X", "-At", "-d", self.uri, "-c", query], capture_output=True, text=True,
                             check=True).stdout.strip()
        return tuple(int(n) for n in out.split("|"))

    def sql(self, text):
        """Runs SQL through psql as the server's owner; answers what it printed."""
        return subprocess.run(["psql", "-X", "-At", "-v", "ON_ERROR_STOP=1", "-d", self.uri, "-c", text],
                              capture_output=True, text=True, check=True).stdout.strip()
