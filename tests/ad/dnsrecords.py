#!/usr/bin/env python3
"""dnsrecords.py -- the DC's host records in Samba's DNS, and a DNS query.

  dnsrecords.py add SMB.CONF IP ZONE LABEL...
      Adds an A record IP to each LABEL of ZONE (dc1 for dc1.hostkit.test,
      @ for hostkit.test itself) in the provisioned sam.ldb of SMB.CONF,
      Samba stopped; records a name already holds are kept. Provisioning leaves them out when the DC's
      address is 127.0.0.1. Needs Samba's own Python modules, so run it with
      the interpreter Samba's tools use (/usr/bin/python3 on Debian).

  dnsrecords.py query SERVER NAME TYPE
      Asks the name server SERVER (an IPv4 address, port 53, over UDP) for
      NAME's records of TYPE (A or SRV) without recursion, and prints one
      line per answer: "A address" or "SRV priority weight port target".
      Exit 0 with at least one answer, 1 with none, 2 when the server did
      not answer within 5 s. Needs nothing but Python's standard library.
"""

import random
import socket
import struct
import sys

TYPES = {"A": 1, "SRV": 33}


def add(conf, ip, zone, labels):
    from samba.auth import system_session
    from samba.dcerpc import dnsp
    from samba.ndr import ndr_pack
    from samba.param import LoadParm
    from samba.samdb import SamDB
    from samba import WERRORError
    import ldb

    lp = LoadParm()
    lp.load(conf)
    samdb = SamDB(url=lp.samdb_url(), session_info=system_session(), lp=lp)
    a = dnsp.DnssrvRpcRecord()
    a.wType = dnsp.DNS_TYPE_A
    a.rank = dnsp.DNS_RANK_ZONE
    a.dwSerial = 1
    a.dwTtlSeconds = 900
    a.data = ip
    for label in labels:
        name = zone if label == "@" else "%s.%s" % (label, zone)
        try:
            dn, records = samdb.dns_lookup(name)
            records = list(records)
        except WERRORError:                 # no such name yet
            dn = ldb.Dn(samdb, "DC=%s,DC=%s,CN=MicrosoftDNS,DC=DomainDnsZones,%s"
                        % (label, zone, samdb.domain_dn()))
            records = []
        if any(r.wType == dnsp.DNS_TYPE_A and r.data == ip for r in records):
            continue
        if records:
            samdb.dns_replace(name, records + [a])
        else:
            # A new node, made the way provisioning makes the DC's.
            msg = ldb.Message(dn)
            msg["objectClass"] = ["top", "dnsNode"]
            msg["dnsRecord"] = ldb.MessageElement([ndr_pack(a)], ldb.FLAG_MOD_ADD, "dnsRecord")
            samdb.add(msg)


def encode_name(name):
    out = b""
    for label in name.rstrip(".").split("."):
        out += bytes([len(label)]) + label.encode("ascii")
    return out + b"\0"


def read_name(msg, at):
    """The dotted name at offset at, following compression; and the offset after it."""
    labels, end, jumps = [], None, 0
    while True:
        n = msg[at]
        if n & 0xC0 == 0xC0:
            if end is None:
                end = at + 2
            at = ((n & 0x3F) << 8) | msg[at + 1]
            jumps += 1
            if jumps > 64:
                raise ValueError("compression loop")
            continue
        if n == 0:
            return ".".join(labels), (end if end is not None else at + 1)
        labels.append(msg[at + 1:at + 1 + n].decode("ascii", "replace"))
        at += 1 + n


def query(server, name, rtype):
    qid = random.randrange(65536)
    packet = struct.pack(">HHHHHH", qid, 0, 1, 0, 0, 0) + encode_name(name) \
        + struct.pack(">HH", TYPES[rtype], 1)
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(5)
    try:
        s.sendto(packet, (server, 53))
        while True:
            msg = s.recv(65535)
            if len(msg) >= 12 and struct.unpack(">H", msg[:2])[0] == qid:
                break
    except socket.timeout:
        print("no answer from %s within 5 s" % server, file=sys.stderr)
        return 2
    _, flags, qd, an, _, _ = struct.unpack(">HHHHHH", msg[:12])
    at = 12
    for _ in range(qd):
        _, at = read_name(msg, at)
        at += 4
    found = 0
    for _ in range(an):
        _, at = read_name(msg, at)
        t, _, _, size = struct.unpack(">HHIH", msg[at:at + 10])
        at += 10
        data = msg[at:at + size]
        if t == 1 and rtype == "A":
            print("A " + socket.inet_ntoa(data))
            found += 1
        elif t == 33 and rtype == "SRV":
            prio, weight, port = struct.unpack(">HHH", data[:6])
            target, _ = read_name(msg, at + 6)
            print("SRV %d %d %d %s" % (prio, weight, port, target))
            found += 1
        at += size
    if not found:
        print("no %s record for %s (rcode %d)" % (rtype, name, flags & 0xF), file=sys.stderr)
    return 0 if found else 1


def main(argv):
    if len(argv) >= 5 and argv[0] == "add":
        add(argv[1], argv[2], argv[3], argv[4:])
        return 0
    if len(argv) == 4 and argv[0] == "query" and argv[3] in TYPES:
        return query(argv[1], argv[2], argv[3])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
