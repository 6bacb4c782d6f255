#!/usr/bin/env python3
"""A PostgreSQL connection dropped without a word, under a steady stream of queries.

Run in a network namespace of its own (unshare -n), where the service reaches
PostgreSQL over TCP on 127.0.0.1:5432: after a few seconds every packet to and from
that port is dropped (nothing is refused or reset), then let through again. Prints
how the queries sent meanwhile were answered and how long after the network came
back the first check-in was stored again.
    pg_drop.py SERVICE_PORT [DROP_SECONDS]
"""
import http.client
import subprocess
import sys
import threading
import time

port = int(sys.argv[1])
drop_seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
RULES = [["-p", "tcp", "--dport", "5432", "-j", "DROP"], ["-p", "tcp", "--sport", "5432", "-j", "DROP"]]


def body(uuid):
    hx = lambda s: s.encode().hex().upper()
    q = "AppVer=" + hx("2.0.0") + "&ExecutionLevel=30&UUID=" + hx(uuid) + "&OSMajorVer=3130"
    d = hx(q)
    return f"size={len(d)}&checksum=0&zip=0&data={d}"


results = []  # (sent, seconds taken, "stored" | "try again" | "error")
lock = threading.Lock()
stop = threading.Event()


def client(n):
    i = 0
    while not stop.is_set():
        i += 1
        sent = time.monotonic()
        kind = "error"
        try:
            c = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
            c.request("POST", "/zelguard/update1", body(f"D-{n}-{i}"),
                      {"Content-Type": "application/x-www-form-urlencoded"})
            r = c.getresponse()
            text = r.read().decode()
            if r.status == 200:
                kind = "try again" if "temporarily" in text else "stored"
            c.close()
        except OSError:
            pass
        with lock:
            results.append((sent, time.monotonic() - sent, kind))
        time.sleep(0.05)


def iptables(action):
    for rule in RULES:
        subprocess.run(["iptables", action, "INPUT"] + rule, check=True)


threads = [threading.Thread(target=client, args=(n,)) for n in range(4)]
start = time.monotonic()
for t in threads:
    t.start()
time.sleep(3)
dropped = time.monotonic()
iptables("-A")
time.sleep(drop_seconds)
iptables("-D")
restored = time.monotonic()
time.sleep(15)
stop.set()
for t in threads:
    t.join()

during = [r for r in results if dropped <= r[0] < restored]
within = [r for r in during if r[2] == "try again" and r[1] <= 1.05]
stored_during = [r for r in during if r[2] == "stored"]
errors = [r for r in results if r[2] == "error"]
after = sorted(r for r in results if r[0] >= restored and r[2] == "stored")
recovered = after[0][0] + after[0][1] - restored if after else None
print(f"pg-drop  {drop_seconds:.0f} s dropped: {len(during)} queries sent, {len(within)} answered \"try again\" "
      f"within 1 s, {len(stored_during)} stored (sent just before the drop), slowest "
      f"{max((r[1] for r in during), default=0) * 1000:.0f} ms; errors {len(errors)}")
print("pg-drop  first check-in stored " +
      (f"{recovered:.1f} s after the network came back" if recovered is not None else "NEVER after the network came back"))
