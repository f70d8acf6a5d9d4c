#!/usr/bin/env python3
# dropserver.py --
#
#	A directory server that loses its connections: it answers the bind
#	and the root DSE (which offers the paged-results control) and then,
#	to a search whose base is "o=dropN", sends N entries of the first page
#	and closes the connection without a final result. The directory tests
#	use it to see what a search makes of a connection lost mid-page.
#
#	Usage: dropserver.py PORT   (listens on 127.0.0.1:PORT until killed)

import socket
import socketserver
import sys

PAGED_RESULTS_OID = b"1.2.840.113556.1.4.319"
SUCCESS = b"\x0a\x01\x00\x04\x00\x04\x00"   # resultCode 0, matchedDN "", message ""


def ber(tag, content):
    n = len(content)
    if n < 0x80:
        head = bytes([tag, n])
    elif n < 0x100:
        head = bytes([tag, 0x81, n])
    else:
        head = bytes([tag, 0x82, n >> 8, n & 0xFF])
    return head + content


def message(msgid, op):
    return ber(0x30, ber(0x02, bytes([msgid])) + op)


def entry(dn, attribute, value):
    attrs = ber(0x30, ber(0x30, ber(0x04, attribute) + ber(0x31, ber(0x04, value))))
    return ber(0x64, ber(0x04, dn) + attrs)


def read_tlv(data, at):
    """The tag, the content and the offset after one TLV of data."""
    tag = data[at]
    length = data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    return tag, data[at:at + length], at + length


class Handler(socketserver.BaseRequestHandler):
    def read_message(self):
        head = self.recv_exactly(2)
        if head is None:
            return None
        extra = b""
        if head[1] & 0x80:
            extra = self.recv_exactly(head[1] & 0x7F)
            length = int.from_bytes(extra, "big")
        else:
            length = head[1]
        body = self.recv_exactly(length)
        return None if body is None else head + extra + body

    def recv_exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.request.recv(n - len(data))
            if not chunk:
                return None
            data += chunk
        return data

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
                if base == b"":
                    self.request.sendall(
                        message(msgid, entry(b"", b"supportedControl", PAGED_RESULTS_OID))
                        + message(msgid, ber(0x65, SUCCESS)))
                    continue
                count = int(base[len(b"o=drop"):] or b"0") if base.startswith(b"o=drop") else 0
                for i in range(count):
                    cn = b"p%d" % i
                    dn = b"cn=" + cn + b"," + base
                    self.request.sendall(message(msgid, entry(dn, b"cn", cn)))
                self.request.shutdown(socket.SHUT_RDWR)
                return
            else:                               # unbind, abandon, anything else
                return


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    with Server(("127.0.0.1", int(sys.argv[1])), Handler) as server:
        server.serve_forever()
