#!/usr/bin/env python3
# makedata.py --
#
#	Writes the LDIF of the directory test servers:
#	  makedata.py main  MAINPORT REFPORT BULK  > main.ldif
#	  makedata.py ref   MAINPORT REFPORT       > ref.ldif
#	  makedata.py plain BULK                   > plain.ldif
#	  makedata.py tls   SUFFIXDC                > tls.ldif
#	  makedata.py limit COUNT                   > limit.ldif
#	  makedata.py sort  COUNT                   > sort.ldif
#	Values that LDIF cannot carry as they stand (line ends, leading
#	spaces, UTF-8) are written base64-encoded.

import base64
import random
import sys

PASSWORD = "secret"


def attr(name, value):
    raw = value if isinstance(value, bytes) else value.encode("utf-8")
    safe = (raw and raw[0:1] not in (b" ", b":", b"<") and not raw.endswith(b" ")
            and all(0x20 <= b < 0x7F for b in raw))
    if safe or raw == b"":
        return "%s: %s" % (name, value)
    return "%s:: %s" % (name, base64.b64encode(raw).decode("ascii"))


def entry(dn, *pairs):
    lines = [attr("dn", dn)]
    for name, value in pairs:
        lines.append(attr(name, value))
    return "\n".join(lines) + "\n\n"


def ou(dn, name):
    return entry(dn, ("objectClass", "organizationalUnit"), ("ou", name))


def referral(dn, name, *urls):
    pairs = [("objectClass", "referral"), ("objectClass", "extensibleObject"), ("ou", name)]
    pairs += [("ref", u) for u in urls]
    return entry(dn, *pairs)


def person(dn, cn, sn, given=None, phone=None, mail=None, extra=()):
    pairs = [("objectClass", "inetOrgPerson"), ("cn", cn), ("sn", sn)]
    if given is not None:
        pairs.append(("givenName", given))
    if phone is not None:
        pairs.append(("telephoneNumber", phone))
    if mail is not None:
        pairs.append(("mail", mail))
    pairs += list(extra)
    return entry(dn, *pairs)


def bulk(base, count, out):
    out.write(ou(base, base.split(",")[0].split("=")[1]))
    for i in range(count):
        out.write(person("uid=u%06d,%s" % (i, base), "Bulk Person %06d" % i, "Person%06d" % i,
                         given="Bulk", phone="+1 555 %07d" % i, mail="u%06d@ombri.test" % i,
                         extra=[("uid", "u%06d" % i)]))


def main_ldif(mainport, refport, count, out):
    out.write(entry("dc=ombri,dc=test", ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", "ombri"), ("o", "Ombri")))
    out.write(person("cn=reader,dc=ombri,dc=test", "reader", "Reader",
                     extra=[("userPassword", PASSWORD)]))
    staff = "ou=staff,dc=ombri,dc=test"
    out.write(ou(staff, "staff"))
    out.write(person("cn=Ann Lee," + staff, "Ann Lee", "Lee", given="Ann", phone="100",
                     mail="ann@ombri.test"))
    # Several values: only the first one reaches the results file.
    out.write(person("cn=Bob Stone," + staff, "Bob Stone", "Stone", given="Bob",
                     phone="201", mail="bob@ombri.test",
                     extra=[("telephoneNumber", "202"), ("telephoneNumber", "203")]))
    # Values that need care when they come back as a Tcl list.
    out.write(person("cn=Cy Brace," + staff, "Cy Brace", "Brace {open", given="  two spaces ",
                     phone="line one\nline two", mail="back\\slash\\"))
    out.write(person("cn=Dee Utf," + staff, "Dee Utf", "Müller-Łódź 日本", given="Zoë",
                     phone="}{", mail="a{b}c"))
    out.write(person("cn=Eve Private," + staff, "Eve Private", "Private", given="Eve",
                     phone="555", extra=[("description", "OmbriPrivateUser")]))
    # An entry with none of the person attributes that the searches ask for.
    out.write(entry("ou=Empty Unit," + staff, ("objectClass", "organizationalUnit"),
                    ("ou", "Empty Unit")))
    out.write(referral("ou=partners," + staff, "partners",
                       "ldap://127.0.0.1:%d/ou=partners,dc=other,dc=test" % refport,
                       "ldap://127.0.0.1:%d/ou=associates,dc=other,dc=test" % refport))
    # Two servers that refer to each other without end.
    loop = "ou=loop,dc=ombri,dc=test"
    out.write(ou(loop, "loop"))
    out.write(person("cn=Loop Main," + loop, "Loop Main", "Main"))
    out.write(referral("ou=hop," + loop, "hop", "ldap://127.0.0.1:%d/ou=loop,dc=other,dc=test" % refport))
    # Referral URLs that cannot be followed.
    bad = "ou=badrefs,dc=ombri,dc=test"
    out.write(ou(bad, "badrefs"))
    out.write(person("cn=Bad Ref Owner," + bad, "Bad Ref Owner", "Owner"))
    out.write(referral("ou=nodn," + bad, "nodn", "ldap://127.0.0.1:%d" % refport))
    out.write(referral("ou=closed," + bad, "closed", "ldap://127.0.0.1:1/ou=partners,dc=other,dc=test"))
    out.write(referral("ou=escaped," + bad, "escaped",
                       "ldap://127.0.0.1:%d/ou=Sales%%20Team,dc=other,dc=test" % refport))
    # Names and values that the results file and Tcl must carry: nine people,
    # one with binary values and a zero byte in a text value, one with 0x1A,
    # CR and LF in a text value,
    # two with an attribute option that makes a 146-byte name, one with a
    # value that is not UTF-8 (audio is an octet string).
    odd = "ou=odd,dc=ombri,dc=test"
    out.write(ou(odd, "odd"))
    longname = "description;lang-en-" + "abcdefghijklmnopqrstuvwxyz" * 4 + "abcdefghijklmnopqrstuv"
    for i in range(1, 10):
        extra = [("uid", "odd%d" % i)]
        if i in (3, 6):
            extra.append((longname, "long option %d" % i))
        if i == 7:
            # Bytes that a Windows text stream would change or end at.
            extra.append(("description", b"z\x1a\r\nline\nend\r"))
        if i == 8:
            extra.append(("audio", b"\xff\xfe\x80 bin \xc3\xa9 \xed\xa0\x80 \xc3"))
        if i == 9:
            # Binary values with zero bytes, and a text value that holds one.
            extra += [("jpegPhoto", b"\x00\x01\xffJFIF\x00"), ("jpegPhoto", b"\x00"),
                      ("description", b"before\x00after")]
        out.write(person("uid=odd%d,%s" % (i, odd), "Odd %d" % i, "Odd", extra=extra))
    bulk("ou=bulk,dc=ombri,dc=test", count, out)


def ref_ldif(mainport, refport, out):
    out.write(entry("dc=test", ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", "test"), ("o", "Test")))
    # The same reader account as on the main server, so that referrals bind alike.
    out.write(entry("dc=ombri,dc=test", ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", "ombri"), ("o", "Ombri")))
    out.write(person("cn=reader,dc=ombri,dc=test", "reader", "Reader",
                     extra=[("userPassword", PASSWORD)]))
    out.write(entry("dc=other,dc=test", ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", "other"), ("o", "Other")))
    p = "ou=partners,dc=other,dc=test"
    out.write(ou(p, "partners"))
    out.write(person("cn=Pat Partner," + p, "Pat Partner", "Partner", given="Pat", phone="300"))
    out.write(person("cn=Quinn Partner," + p, "Quinn Partner", "Partner", given="Quinn", phone="301"))
    a = "ou=associates,dc=other,dc=test"
    out.write(ou(a, "associates"))
    out.write(person("cn=Ray Associate," + a, "Ray Associate", "Associate", given="Ray", phone="400"))
    s = "ou=Sales Team,dc=other,dc=test"
    out.write(ou(s, "Sales Team"))
    out.write(person("cn=Sam Sales," + s, "Sam Sales", "Sales", given="Sam", phone="500"))
    loop = "ou=loop,dc=other,dc=test"
    out.write(ou(loop, "loop"))
    out.write(person("cn=Loop Other," + loop, "Loop Other", "Other"))
    out.write(referral("ou=hop," + loop, "hop", "ldap://127.0.0.1:%d/ou=loop,dc=ombri,dc=test" % mainport))


def plain_ldif(count, out):
    out.write(entry("dc=plain,dc=test", ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", "plain"), ("o", "Plain")))
    out.write(person("cn=reader,dc=plain,dc=test", "reader", "Reader",
                     extra=[("userPassword", PASSWORD)]))
    out.write(person("cn=Ann Lee,dc=plain,dc=test", "Ann Lee", "Lee", given="Ann", phone="100"))
    bulk("ou=bulk,dc=plain,dc=test", count, out)


def tls_ldif(dc, out):
    base = "dc=%s,dc=test" % dc
    out.write(entry(base, ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", dc), ("o", dc.capitalize())))
    out.write(person("cn=reader," + base, "reader", "Reader", extra=[("userPassword", PASSWORD)]))
    out.write(person("cn=Ann Lee," + base, "Ann Lee", "Lee", given="Ann", phone="100"))
    out.write(person("cn=Bo Chan," + base, "Bo Chan", "Chan", given="Bo", phone="101"))


def limit_ldif(count, out):
    """dc=limit,dc=test: the reader and COUNT people under ou=bulk."""
    out.write(entry("dc=limit,dc=test", ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", "limit"), ("o", "Limit")))
    out.write(person("cn=reader,dc=limit,dc=test", "reader", "Reader",
                     extra=[("userPassword", PASSWORD)]))
    bulk("ou=bulk,dc=limit,dc=test", count, out)


SORT_FIRST = 10000


def sort_ldif(count, out):
    """dc=sort,dc=test: the reader and COUNT people under ou=people, each a
    posixAccount whose uidNumber (SORT_FIRST .. SORT_FIRST+COUNT-1, all of
    five digits, so that their text and number orders agree) is shuffled
    against the order of the entries (uid s00000, s00001, ...); cn and sn
    follow uidNumber (Sort 10000), so the three sort alike."""
    out.write(entry("dc=sort,dc=test", ("objectClass", "dcObject"), ("objectClass", "organization"),
                    ("dc", "sort"), ("o", "Sort")))
    out.write(person("cn=reader,dc=sort,dc=test", "reader", "Reader",
                     extra=[("userPassword", PASSWORD)]))
    base = "ou=people,dc=sort,dc=test"
    out.write(ou(base, "people"))
    numbers = list(range(SORT_FIRST, SORT_FIRST + count))
    random.Random(count).shuffle(numbers)
    for i, n in enumerate(numbers):
        out.write(entry("uid=s%05d,%s" % (i, base), ("objectClass", "inetOrgPerson"),
                        ("objectClass", "posixAccount"), ("cn", "Sort %d" % n), ("sn", "S%d" % n),
                        ("uid", "s%05d" % i), ("uidNumber", str(n)), ("gidNumber", "100"),
                        ("homeDirectory", "/home/s%05d" % i), ("mail", "s%05d@sort.test" % i)))


if __name__ == "__main__":
    kind = sys.argv[1]
    if kind == "main":
        main_ldif(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.stdout)
    elif kind == "ref":
        ref_ldif(int(sys.argv[2]), int(sys.argv[3]), sys.stdout)
    elif kind == "plain":
        plain_ldif(int(sys.argv[2]), sys.stdout)
    elif kind == "tls":
        tls_ldif(sys.argv[2], sys.stdout)
    elif kind == "limit":
        limit_ldif(int(sys.argv[2]), sys.stdout)
    elif kind == "sort":
        sort_ldif(int(sys.argv[2]), sys.stdout)
    else:
        sys.exit("unknown kind " + kind)
