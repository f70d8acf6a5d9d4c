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
#	  o=cookie    one entry per page, the same (cn=one,o=cookie) on every
#	              page, and the same cookie for ever
#	  o=pages     one entry per page, the same (cn=one,o=pages) on every
#	              page, and a new cookie for ever
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
#	Paging and ranges as no real server hands them out (Responder, below):
#
#	  o=onecookie   1,200 distinct entries (cn=u0000,o=onecookie ...
#	                cn=u1199, each with a cn and a mail), in pages of the
#	                size the client asks (at most 500; 0 ends the search
#	                with no entry), every page but the last with the same
#	                cookie (as Samba's "1\0", base64 MQA=), the last with an
#	                empty one; the position is the connection's, as with
#	                Samba. A search without a cookie starts again.
#	  o=emptypage   pages without entries that keep the same cookie, for
#	                ever; o=emptypageN: a first page of N entries, then so
#	  o=repeatpage  pages of the same 3 entries (same DNs), each with a new
#	                cookie, for ever
#	  o=badcontrol  a first page of 3 entries whose final result carries a
#	                paged-results control whose value is not valid BER (a
#	                cookie whose length runs past the value's end)
#	  o=bigcookieN  one new distinct entry per page, and a new cookie of N
#	                KB (N * 1024 bytes) each time, for ever (o=bigcookie1024:
#	                1 MB cookies)
#	  o=rangefrom   one entry (cn=one,o=rangefrom) whose member values come
#	                first as member;range=1000-1001 (m1000 m1001) of 2,000
#	                (m0000 .. m1999); asked for the entry alone with
#	                member;range=LOW-HIGH (HIGH a number or *), it answers
#	                values LOW up to HIGH, at most 1,500 of them, under
#	                member;range=LOW-LAST, or LOW-* when they reach the last
#	                value; asked for plain member, the first 1,500
#	  o=nulname     one entry whose first attribute name holds a zero byte
#	                (cn NUL evil = evil), then cn = good
#	  o=slowN       one new entry (cn=sK,o=slowN) every N seconds (N may
#	                have a fraction: o=slow0.5) without end; with paging,
#	                each page of the asked size ends with a new cookie and
#	                the next page goes on; it stops when the client abandons
#	                the search, unbinds or goes (any other request ends the
#	                connection too), or after 1,000,000 entries
#
#	Every answer carries the message id of the request it answers; a
#	responder waits for the client's next request and never runs on its
#	own after the client has gone (o=slowN looks for the client between
#	entries).
#
#	On the silent port it accepts connections and never answers.
#
#	Usage: dropserver.py PORT [SILENT_PORT]   (on 127.0.0.1 until killed)

import select
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


def page_result(msgid, cookie, estimate=0):
    value = ber(0x30, integer(estimate) + ber(0x04, cookie))
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
        """(message id, operation tag, operation content) of each request until the client goes.

        The request's controls (the content of its [0] element, or b"") are
        in self.controls meanwhile."""
        while True:
            raw = self.read_message()
            if raw is None:
                return
            _, body, _ = read_tlv(raw, 0)
            _, msgid, at = read_tlv(body, 0)
            op, content, at = read_tlv(body, at)
            self.controls = b""
            if at < len(body) and body[at] == 0xA0:
                _, self.controls, _ = read_tlv(body, at)
            yield int.from_bytes(msgid, "big"), op, content


def parse_search(content):
    """The base and the requested attribute names of a SearchRequest's content."""
    _, base, at = read_tlv(content, 0)
    for _ in range(6):                  # scope, deref, size and time limits, typesOnly, filter
        _, _, at = read_tlv(content, at)
    _, raw, _ = read_tlv(content, at)
    attrs, i = [], 0
    while i < len(raw):
        _, name, i = read_tlv(raw, i)
        attrs.append(name)
    return base, attrs


def paged_request(controls):
    """(page size, cookie) of a request's paged-results control, or None."""
    i = 0
    while i < len(controls):
        _, control, i = read_tlv(controls, i)
        _, oid, at = read_tlv(control, 0)
        if oid != PAGED_RESULTS_OID:
            continue
        value = b""
        while at < len(control):
            tag, part, at = read_tlv(control, at)
            if tag == 0x04:
                value = part
        _, seq, _ = read_tlv(value, 0)
        _, size, at = read_tlv(seq, 0)
        _, cookie, _ = read_tlv(seq, at)
        return int.from_bytes(size, "big", signed=True), cookie
    return None


def number_after(base, prefix):
    """The number that follows prefix in base (o=slow2 -> 2.0), or None."""
    if not base.startswith(prefix):
        return None
    try:
        n = float(base[len(prefix):].decode())
    except (ValueError, UnicodeDecodeError):
        return None
    return n if 0 <= n < 1e6 else None


ONECOOKIE_ENTRIES = 1200
ONECOOKIE_COOKIE = b"1\x00"            # Samba's, base64 MQA=
PAGE_LIMIT = 500
RANGE_VALUES = 2000
RANGE_STEP = 1500
SLOW_MOST = 1000000
# A paged-results value whose cookie claims 16 bytes that are not there.
BAD_PAGE_VALUE = b"\x30\x05\x02\x01\x00\x04\x10"


def person(dn, cn):
    values = ber(0x30, ber(0x04, b"cn") + ber(0x31, ber(0x04, cn))) \
        + ber(0x30, ber(0x04, b"mail") + ber(0x31, ber(0x04, cn + b"@drop.test")))
    return ber(0x64, ber(0x04, dn) + ber(0x30, values))


class Responder(RequestHandler):
    """The paging and range bases of the header; one object per connection."""

    def respond(self, msgid, base, content):
        """Answers a search of one of these bases and returns True, or returns False."""
        paged = paged_request(self.controls)
        size = PAGE_LIMIT if paged is None else paged[0]
        cookie = b"" if paged is None else paged[1]
        send = self.request.sendall
        if base == b"o=onecookie":
            if not cookie:
                self.position = 0
            position = getattr(self, "position", 0)
            count = max(0, min(size, PAGE_LIMIT, ONECOOKIE_ENTRIES - position))
            if paged is not None and size <= 0:
                count, position = 0, ONECOOKIE_ENTRIES       # the client ends the search
            out = b"".join(message(msgid, person(b"cn=u%04d,o=onecookie" % i, b"u%04d" % i))
                           for i in range(position, position + count))
            self.position = position + count
            more = self.position < ONECOOKIE_ENTRIES
            send(out + page_result(msgid, ONECOOKIE_COOKIE if more else b"", ONECOOKIE_ENTRIES))
            return True
        first = number_after(base, b"o=emptypage")
        if base == b"o=emptypage" or first is not None:
            out = b""
            if not cookie:
                out = b"".join(message(msgid, person(b"cn=e%d,%s" % (i, base), b"e%d" % i))
                               for i in range(int(first or 0)))
            send(out + page_result(msgid, b"empty"))
            return True
        if base == b"o=repeatpage":
            self.pages = getattr(self, "pages", 0) + 1
            out = b"".join(message(msgid, person(b"cn=r%d,o=repeatpage" % i, b"r%d" % i))
                           for i in range(3))
            send(out + page_result(msgid, b"repeat%d" % self.pages))
            return True
        if base == b"o=badcontrol":
            out = b"".join(message(msgid, person(b"cn=b%d,o=badcontrol" % i, b"b%d" % i))
                           for i in range(3))
            control = ber(0x30, ber(0x04, PAGED_RESULTS_OID) + ber(0x04, BAD_PAGE_VALUE))
            send(out + message(msgid, ber(0x65, SUCCESS), ber(0xA0, control)))
            return True
        if base == b"o=nulname":
            attrs = b"".join(ber(0x30, ber(0x04, name) + ber(0x31, ber(0x04, value)))
                             for name, value in ((b"cn\x00evil", b"evil"), (b"cn", b"good")))
            one = ber(0x64, ber(0x04, b"cn=one,o=nulname") + ber(0x30, attrs))
            send(message(msgid, one) + page_result(msgid, b""))
            return True
        kilobytes = number_after(base, b"o=bigcookie")
        if kilobytes is not None:
            self.pages = getattr(self, "pages", 0) + 1
            page = self.pages
            head = b"bigcookie page %d;" % page
            fill = int(kilobytes * 1024) - len(head)
            send(message(msgid, person(b"cn=c%d,%s" % (page, base), b"c%d" % page))
                 + page_result(msgid, head + b"x" * max(0, fill)))
            return True
        if base == b"o=rangefrom":
            first = entry(b"cn=one,o=rangefrom", b"member;range=1000-1001", b"m1000", b"m1001")
            send(message(msgid, first) + page_result(msgid, b""))
            return True
        if base == b"cn=one,o=rangefrom":
            _, attrs = parse_search(content)
            low, high = 0, RANGE_STEP - 1
            for a in attrs:
                name, _, option = a.lower().partition(b";range=")
                lo, _, hi = option.partition(b"-")
                if name == b"member" and lo.isdigit() and (hi == b"*" or hi.isdigit()):
                    low = int(lo)
                    high = RANGE_VALUES - 1 if hi == b"*" else int(hi)
            last = min(high, low + RANGE_STEP - 1, RANGE_VALUES - 1)
            values = [b"m%04d" % i for i in range(low, last + 1)]
            name = b"member;range=%d-%s" % (low, b"*" if last == RANGE_VALUES - 1 else b"%d" % last)
            one = entry(b"cn=one,o=rangefrom", name, *values) if values \
                else entry(b"cn=one,o=rangefrom", b"cn", b"one")
            send(message(msgid, one) + message(msgid, ber(0x65, SUCCESS)))
            return True
        seconds = number_after(base, b"o=slow")
        if seconds is not None:
            return self.slow(msgid, base, seconds, size if paged is not None else 0)
        return False

    def slow(self, msgid, base, seconds, size):
        """One entry every seconds until the client abandons, unbinds or goes."""
        sent = getattr(self, "slow_sent", 0)
        in_page = 0
        while sent < SLOW_MOST:
            readable, _, _ = select.select([self.request], [], [], seconds)
            if readable:
                # The client speaks (abandon, unbind) or has gone: this
                # search ends without a result. An abandon of another
                # message is passed over.
                raw = self.read_message()
                if raw is None:
                    raise ConnectionResetError("the client went")
                _, body, _ = read_tlv(raw, 0)
                _, _, at = read_tlv(body, 0)
                op, content, _ = read_tlv(body, at)
                if op == 0x50 and int.from_bytes(content, "big") != msgid:
                    continue
                if op == 0x42 or op == 0x50:
                    if op == 0x42:
                        raise ConnectionResetError("the client unbound")
                    return True
                raise ConnectionResetError("another request during a slow search")
            self.request.sendall(message(msgid, person(b"cn=s%d,%s" % (sent, base), b"s%d" % sent)))
            sent += 1
            in_page += 1
            self.slow_sent = sent
            if size and in_page >= size:
                self.request.sendall(page_result(msgid, b"slow%d" % sent))
                return True
        self.request.sendall(message(msgid, ber(0x65, SUCCESS)))
        return True


class Handler(Responder):
    def handle(self):
        try:
            self.serve()
        except OSError:
            pass                                # the client went; so does this thread

    def serve(self):
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
                if self.respond(msgid, base, content):
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
