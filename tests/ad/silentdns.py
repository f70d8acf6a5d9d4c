#!/usr/bin/env python3
"""silentdns.py ADDRESS SECONDS -- a name server that never answers.

Binds UDP and TCP port 53 on ADDRESS, takes every query and answers none, for
SECONDS; prints "ready" once bound. Used by tests/ad/search.test for names
whose resolution hangs rather than fails.
"""

import socket
import sys
import time

address, seconds = sys.argv[1], float(sys.argv[2])
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind((address, 53))
tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind((address, 53))
tcp.listen(16)
print("ready", flush=True)
time.sleep(seconds)
