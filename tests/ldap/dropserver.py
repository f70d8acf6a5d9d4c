#!/usr/bin/env python3
# dropserver.py --
#
#	A directory server that misbehaves in ways no real server does, for
#	the directory tests. It answers the bind and the root DSE (which
#	offers the paged-results control); what it does with a search depends
#	on the search base:
#
#	  o=dropN     N entries of the first page, then the connection closes
#	              without a final result
#	  o=silent    nothing: the search is never answered
#	  o=huge      the start of a message that announces 2 GB, then nothing
#	  o=cookie    one entry per page, and the same cookie for ever
#	  o=pages     one entry per page, and a new cookie for ever
#	  o=same      one entry and a reference whose two URLs both name o=same
#	              on this server again
#	  o=fanX      one entry and a reference to o=fanXa and o=fanXb on this
#	              server: the references fan out without end
#	  o=silentref one entry and a reference to the silent port
#	  o=rangeend  one entry whose member comes as member;range=0-1; asked
#	              for the entry alone, the rest as member;range=2-* (as a
#	              domain controller hands out a large attribute)
#	  o=rangejump the same, but the further range does not follow on
#	              (member;range=7-8)
#	  o=rangegone the same, but the entry comes back without member
#
#	On the silent port it accepts connections and never answers.
#
#	Usage: dropserver.py PORT [SILENT_PORT]   (on 127.0.0.1 until killed)

import socket
import socketserver
import sys
import threading

PAGED_RESULTS_OID = b"1.2.840.113556.1.4.319"
SUCCESS = b"\x0a\x01\x00\x04\x00\x04\x00"   # resultCode 0, matchedDN "", message ""


def ber(tag, content):
    n = len(content)
    if n < 0x80:
        head = bytes([tag, n])
    else:
        size = (n.bit_length() + 7) // 8
        head = bytes([tag, 0x80 | size]) + n.to_bytes(size, "big")
    return head + content


def integer(n):
    return ber(0x02, n.to_bytes((n.bit_length() + 8) // 8, "big"))


def message(msgid, op, controls=b""):
    return ber(0x30, integer(msgid) + op + controls)


def page_result(msgid, cookie):
    value = ber(0x30, integer(0) + ber(0x04, cookie))
    control = ber(0x30, ber(0x04, PAGED_RESULTS_OID) + ber(0x04, value))
    return message(msgid, ber(0x65, SUCCESS), ber(0xA0, control))


def reference(msgid, urls):
    return message(msgid, ber(0x73, b"".join(ber(0x04, u) for u in urls)))


def entry(dn, attribute, value, *more):
    """An entry of one attribute with its values (one or more)."""
    values = b"".join(ber(0x04, v) for v in (value,) + more)
    attrs = ber(0x30, ber(0x30, ber(0x04, attribute) + ber(0x31, values)))
    return ber(0x64, ber(0x04, dn) + attrs)


# What a search of one ranged entry alone (its DN as base) is answered with.
FURTHER_RANGES = {
    b"cn=one,o=rangeend": entry(b"cn=one,o=rangeend", b"member;range=2-*", b"m2", b"m3", b"m4"),
    b"cn=one,o=rangejump": entry(b"cn=one,o=rangejump", b"member;range=7-8", b"m7", b"m8"),
    b"cn=one,o=rangegone": entry(b"cn=one,o=rangegone", b"cn", b"one"),
}


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


class RequestHandler(socketserver.BaseRequestHandler):
    """Reads a client's LDAP requests one by one (also for bench/wideserver.py)."""

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

    def requests(self):
        """(message id, operation tag, operation content) of each request until the client goes."""
        while True:
            raw = self.read_message()
            if raw is None:
                return
            _, body, _ = read_tlv(raw, 0)
            _, msgid, at = read_tlv(body, 0)
            op, content, _ = read_tlv(body, at)
            yield int.from_bytes(msgid, "big"), op, content


class Handler(RequestHandler):
    def handle(self):
        port = self.server.server_address[1]
        silent_port = self.server.silent_port
        pages = 0
        for msgid, op, content in self.requests():
            if op == 0x60:                      # bind
                self.request.sendall(message(msgid, ber(0x61, SUCCESS)))
            elif op == 0x63:                    # search
                _, base, _ = read_tlv(content, 0)
                if base == b"":
                    self.request.sendall(
                        message(msgid, entry(b"", b"supportedControl", PAGED_RESULTS_OID))
                        + message(msgid, ber(0x65, SUCCESS)))
                    continue
                if base in FURTHER_RANGES:
                    self.request.sendall(message(msgid, FURTHER_RANGES[base])
                                         + message(msgid, ber(0x65, SUCCESS)))
                    continue
                if base in (b"o=rangeend", b"o=rangejump", b"o=rangegone"):
                    first = entry(b"cn=one," + base, b"member;range=0-1", b"m0", b"m1")
                    self.request.sendall(message(msgid, first) + page_result(msgid, b""))
                    continue
                one = message(msgid, entry(b"cn=one," + base, b"cn", base))
                url = b"ldap://127.0.0.1:%d/" % port
                if base in (b"o=silent", b"o=huge"):
                    if base == b"o=huge":
                        self.request.sendall(b"\x30\x84\x7f\xff\xff\xff\x02\x01")
                    self.read_message()         # until the client goes
                    return
                if base in (b"o=cookie", b"o=pages"):
                    pages += 1
                    cookie = b"same" if base == b"o=cookie" else b"page%d" % pages
                    self.request.sendall(one + page_result(msgid, cookie))
                    continue
                if base == b"o=same":
                    self.request.sendall(one + reference(msgid, [url + b"o=same??sub"] * 2)
                                         + message(msgid, ber(0x65, SUCCESS)))
                    continue
                if base.startswith(b"o=fan"):
                    self.request.sendall(one + reference(msgid, [url + base + b"a??sub",
                                                                 url + base + b"b??sub"])
                                         + message(msgid, ber(0x65, SUCCESS)))
                    continue
                if base == b"o=silentref":
                    silent = b"ldap://127.0.0.1:%d/o=x??sub" % silent_port
                    self.request.sendall(one + reference(msgid, [silent])
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
    silent_port = 0


def serve_silent(port):
    """Accepts connections on port and never answers; each is held until the client goes."""
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(64)

    def hold(conn):
        with conn:
            while conn.recv(65536):
                pass

    while True:
        conn, _ = listener.accept()
        threading.Thread(target=hold, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    with Server(("127.0.0.1", int(sys.argv[1])), Handler) as server:
        if len(sys.argv) > 2:
            server.silent_port = int(sys.argv[2])
            threading.Thread(target=serve_silent, args=(server.silent_port,), daemon=True).start()
        server.serve_forever()
