#!/usr/bin/env python3
# wideserver.py --
#
#	A directory server for the wide-entry benchmark: it answers binds, a
#	root DSE without the paged-results control, and every other search
#	with one entry of COUNT attributes ("a00000" .. , one value each).
#	Prints its port once it listens on 127.0.0.1.
#
#	Usage: wideserver.py COUNT

import os
import socket
import socketserver
import sys

# The BER helpers of the test suite's scripted server.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "ldap"))
from dropserver import SUCCESS, ber, message, read_tlv  # noqa: E402


def entry(dn, pairs):
    attrs = b"".join(ber(0x30, ber(0x04, a) + ber(0x31, ber(0x04, v))) for a, v in pairs)
    return ber(0x64, ber(0x04, dn) + ber(0x30, attrs))


COUNT = int(sys.argv[1])
WIDE = entry(b"cn=wide,o=bench",
             [(b"a%05d" % i, b"value %05d" % i) for i in range(COUNT)])
ROOT = entry(b"", [(b"objectClass", b"top")])


class Handler(socketserver.BaseRequestHandler):
    def recv_exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.request.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data

    def read_message(self):
        head = self.recv_exactly(2)
        if head is None:
            return None
        extra = b""
        length = head[1]
        if length & 0x80:
            extra = self.recv_exactly(length & 0x7F)
            length = int.from_bytes(extra, "big")
        body = self.recv_exactly(length)
        return None if body is None else head + extra + body

    def handle(self):
        while True:
            raw = self.read_message()
            if raw is None:
                return
            _, body, _ = read_tlv(raw, 0)
            _, msgid, at = read_tlv(body, 0)
            msgid = int.from_bytes(msgid, "big")
            op, content, _ = read_tlv(body, at)
            if op == 0x60:                      # bind
                self.request.sendall(message(msgid, ber(0x61, SUCCESS)))
            elif op == 0x63:                    # search
                _, base, _ = read_tlv(content, 0)
                found = ROOT if base == b"" else WIDE
                self.request.sendall(message(msgid, found) + message(msgid, ber(0x65, SUCCESS)))
            else:                               # unbind, abandon, anything else
                return


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    with Server(("127.0.0.1", 0), Handler) as server:
        print(server.server_address[1], flush=True)
        server.serve_forever()
