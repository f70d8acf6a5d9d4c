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
import socketserver
import sys

# The BER helpers of the test suite's scripted server.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "ldap"))
from dropserver import SUCCESS, RequestHandler, ber, message, read_tlv  # noqa: E402


def entry(dn, pairs):
    attrs = b"".join(ber(0x30, ber(0x04, a) + ber(0x31, ber(0x04, v))) for a, v in pairs)
    return ber(0x64, ber(0x04, dn) + ber(0x30, attrs))


COUNT = int(sys.argv[1])
WIDE = entry(b"cn=wide,o=bench",
             [(b"a%05d" % i, b"value %05d" % i) for i in range(COUNT)])
ROOT = entry(b"", [(b"objectClass", b"top")])


class Handler(RequestHandler):
    def handle(self):
        for msgid, op, content in self.requests():
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
