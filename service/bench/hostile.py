#!/usr/bin/env python3
"""Clients that hold a service's connections while a benchmark runs: slow package
downloads that read nothing, idle keep-alive connections, and clients that send
their request head a byte at a time. Loopback only; ends after the given seconds.

  hostile.py PORT PACKAGE_PATH SECONDS [SLOW IDLE DRIPPING]
"""
import socket
import sys
import time

port, package, seconds = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
slow, idle, dripping = (int(x) for x in (sys.argv[4:7] or (32, 32, 16)))


def connect(receive_buffer=0):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if receive_buffer:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
    s.connect(("127.0.0.1", port))
    return s


held = []
for _ in range(slow):
    s = connect(4096)
    s.sendall(f"GET {package} HTTP/1.1\r\nHost: bench\r\n\r\n".encode())
    held.append(s)
for _ in range(idle):
    held.append(connect())
drips = []
for _ in range(dripping):
    s = connect()
    s.sendall(b"POST /zelguard/update1 HTTP/1.1\r\n")
    drips.append(s)
print(f"holding {slow} slow downloads, {idle} idle and {dripping} dripping connections", flush=True)
end = time.time() + seconds
while time.time() < end:
    for s in drips:
        try:
            s.send(b"X")
        except OSError:
            pass
    time.sleep(0.5)
for s in held + drips:
    s.close()
