#!/usr/bin/env python3
"""The station's page against clients that are slow, huge or past its limits, on loopback only:
attackers connect from 127.0.0.1, the probe from 127.0.0.2 (its own share of connections).

  hostile_clients_test.py ORVANE_CLI MODE
  MODE: slow-headers, slow-body, slow-read (slowhttptest for about 5 s, a probe every 500 ms:
        every probe answered, no 5xx but the documented 503); huge (25,000 header lines without
        the token, a 200 MiB chunked body with it: 431 and 413, resident memory grown < 16 MB);
        https (--tls-cert and --tls-key, checked by curl --cacert; TLS 1.1 refused).
Exits 77 (skipped) when slowhttptest, curl or openssl is missing; under CI=true 1."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # nothing left behind in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from missing_package import missing_package  # noqa: E402

ATTACKS = {
    "slow-headers": ["-H", "-c", "500", "-i", "3", "-r", "200"],
    "slow-body": ["-B", "-c", "500", "-i", "3", "-r", "200", "-s", "8192"],
    "slow-read": ["-X", "-c", "500", "-r", "200", "-w", "512", "-y", "1024", "-n", "5", "-z", "32", "-k", "3"],
}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_station(cli, tmp, port, extra=()):
    with open(os.path.join(tmp, "fw.bin"), "wb") as f:
        f.write(bytes(range(256)) * 12)
    with open(os.path.join(tmp, "slots.txt"), "w") as f:
        f.write(os.path.join(tmp, "absent") + "  left\n")
    token_file = os.path.join(tmp, "token")
    subprocess.run([cli, "station", "--token-new", token_file], check=True, capture_output=True)
    station = subprocess.Popen([cli, "station", os.path.join(tmp, "fw.bin"), "--ports-from",
                                os.path.join(tmp, "slots.txt"), "--records", "none", "--http", str(port),
                                "--token", token_file, "--control", *extra],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    line = station.stderr.readline()
    if "://" not in line:
        sys.exit("the station did not start its page: " + line + station.stderr.read())
    with open(token_file) as f:
        return station, f.read().strip()


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def probe(port, token):
    return subprocess.run(["curl", "--interface", "127.0.0.2", "-m", "1", "-s", "-o", "/dev/null", "-w",
                           "%{http_code}", "-H", "Authorization: Bearer " + token,
                           "http://127.0.0.1:%d/api/station" % port], capture_output=True, text=True).stdout


def under_attack(port, token, mode):
    attack = subprocess.Popen(["slowhttptest", *ATTACKS[mode], "-l", "6", "-u", "http://127.0.0.1:%d/" % port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)  # its connections made
    codes = []
    for _ in range(10):  # on past the attack's end: it stops once the server has closed its connections
        codes.append(probe(port, token))
        time.sleep(0.5)
    attack.kill()
    attack.wait()
    bad = [code for code in codes if code == "000" or (code.startswith("5") and code != "503")]
    print("%s: probes %s" % (mode, " ".join(codes)))
    return not bad


def huge_request(port, head, body_chunks):
    """Sends head then the chunks while reading; answers the status line that came back."""
    got = bytearray()
    with socket.create_connection(("127.0.0.1", port)) as s:
        reader = threading.Thread(target=lambda: read_all(s, got))
        reader.start()
        try:
            s.sendall(head)
            for chunk in body_chunks:
                s.sendall(chunk)
        except OSError:
            pass  # the server answered and closed: as it should
        reader.join(10)
    return bytes(got).split(b"\r\n", 1)[0].decode(errors="replace")


def read_all(s, got):
    try:
        while True:
            data = s.recv(65536)
            if not data:
                return
            got.extend(data)
    except OSError:
        return


def huge(port, token, pid):
    before = resident_kb(pid)
    host = "127.0.0.1:%d" % port
    line = b"X-Filler: " + b"a" * 7988 + b"\r\n"
    statuses = [huge_request(port, ("GET / HTTP/1.1\r\nHost: %s\r\n" % host).encode(),
                             (line for _ in range(25000))) for _ in range(4)]
    chunk = b"10000\r\n" + b"x" * 0x10000 + b"\r\n"
    head = ("POST /api/stop HTTP/1.1\r\nHost: %s\r\nAuthorization: Bearer %s\r\nOrigin: http://%s\r\n"
            "Transfer-Encoding: chunked\r\n\r\n" % (host, token, host)).encode()
    statuses.append(huge_request(port, head, (chunk for _ in range(200 * 16))))
    grown = resident_kb(pid) - before
    print("huge: %s; resident memory grown by %d kB" % (statuses, grown))
    return all(" 431 " in s for s in statuses[:4]) and " 413 " in statuses[4] and grown < 16 * 1024


def https(cli, tmp):
    cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                    "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, capture_output=True)
    port = free_port()
    station, token = start_station(cli, tmp, port, ["--tls-cert", cert, "--tls-key", key])
    url = "https://127.0.0.1:%d/api/station" % port
    curl = ["curl", "-s", "-m", "5", "-o", "/dev/null", "-w", "%{http_code}", "--cacert", cert]
    try:
        good = subprocess.run(curl + ["-H", "Authorization: Bearer " + token, url], capture_output=True, text=True)
        old = subprocess.run(curl + ["--tlsv1.1", "--tls-max", "1.1", url], capture_output=True, text=True)
        plain = subprocess.run(curl + ["http://127.0.0.1:%d/" % port], capture_output=True, text=True)
    finally:
        station.terminate()
        station.wait(10)
    print("https: %s, TLS 1.1: %s, plain HTTP: %s" % (good.stdout, old.stdout, plain.stdout))
    return good.stdout == "200" and old.stdout == "000" and plain.stdout != "200"


def main():
    cli, mode = sys.argv[1], sys.argv[2]
    needed = ["curl", "openssl"] + (["slowhttptest"] if mode in ATTACKS else [])
    missing = [tool for tool in needed if shutil.which(tool) is None]
    if missing:
        return missing_package(" and ".join(missing), "the hostile clients need " + ", ".join(missing))
    with tempfile.TemporaryDirectory() as tmp:
        if mode == "https":
            return 0 if https(cli, tmp) else 1
        port = free_port()
        station, token = start_station(cli, tmp, port)
        try:
            ok = huge(port, token, station.pid) if mode == "huge" else under_attack(port, token, mode)
        finally:
            station.terminate()
            station.wait(10)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
