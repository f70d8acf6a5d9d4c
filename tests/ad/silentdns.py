#!/usr/bin/env python3
"""silentdns.py ADDRESS SECONDS [truncate] -- a name server that never answers.

Binds UDP and TCP port 53 on ADDRESS, takes every query and answers none, for
SECONDS; prints "ready" once bound. Used by tests/ad/search.test for names
whose resolution hangs rather than fails, and as a KDC that never answers
(tests/ad/negotiate.test).

With "truncate" it answers each UDP query at once, with no record and the
truncation bit set, as a server does whose answer is too long for UDP: the
client asks again over TCP, where the connection is taken and nothing is
ever answered.
"""

import socket
import struct
import sys
import time

address, seconds = sys.argv[1], float(sys.argv[2])
truncate = len(sys.argv) > 3 and sys.argv[3] == "truncate"
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind((address, 53))
tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind((address, 53))
tcp.listen(16)
print("ready", flush=True)
end = time.monotonic() + seconds
held = []
while True:
    left = end - time.monotonic()
    if left <= 0:
        break
    if not truncate:
        time.sleep(left)
        break
    udp.settimeout(min(left, 0.2))
    try:
        query, peer = udp.recvfrom(4096)
    except socket.timeout:
        continue
    if len(query) < 12:
        continue
    # The query itself (its question, and its EDNS0 record if any) with
    # QR and TC set: no answer.
    ident, flags, qd, an, ns, ar = struct.unpack("!HHHHHH", query[:12])
    header = struct.pack("!HHHHHH", ident, 0x8200 | (flags & 0x0100), qd, 0, 0, ar)
    udp.sendto(header + query[12:], peer)
