#!/usr/bin/env python3
# makedata.py -- the entries of the Active Directory test domain, as LDIF for
# ldbadd on the freshly provisioned sam.ldb (Samba stopped).
#
#   makedata.py ldif  BASE USERS BIG READER_PASSWORD USER_PASSWORD > data.ldif
#   makedata.py facts BASE USERS BIG      (shell assignments for fixture.env)
#
# BASE is the domain DN (DC=hostkit,DC=test). What it makes:
#   OU=People   USERS users. Every one is in "All Staff", one of four
#               department groups and one of three site groups; the even ones
#               are also in "Project Atlas": memberOf has 3 or 4 values.
#               The first ones have names outside ASCII; every tenth has a
#               thumbnailPhoto (a few hundred bytes holding NUL bytes); the
#               last two have description OmbriPrivateUser.
#   OU=Groups   the groups above and "Everyone Bulk", whose BIG members are
#               the users of OU=Bulk (more than 1,500: AD hands such a member
#               list out in ranges).
#   OU=Bulk     BIG plain users.
#   CN=Hostkit Reader,CN=Users   a plain user for simple binds.
# Non-ASCII and binary values are written base64-encoded. Everything is
# derived from the index, so the same arguments give the same bytes.

import base64
import hashlib
import sys

# Users whose names test UTF-8 handling; they come first in OU=People.
NAMED = [
    ("Łukasz", "Żółć"),
    ("Zoë", "Ærøskøbing"),
    ("José", "Müller"),
    ("Søren", "Kierkegård"),
    ("Ælfrida", "Ðorđević"),
]
GIVEN = ["Anna", "Ben", "Carla", "David", "Eva", "Frank", "Greta", "Hugo",
         "Ines", "Jonas", "Kim", "Lea", "Marek", "Nora", "Otto", "Pia"]
SURNAMES = ["Adler", "Berg", "Claes", "Dahl", "Eng", "Falk", "Gran", "Holm",
            "Ivers", "Juhl", "Krogh", "Lund", "Moe", "Nyberg", "Ostby",
            "Pihl", "Quist", "Rask", "Stone", "Tang"]
DEPTS = ["Sales", "Engineering", "Finance", "Support"]
SITES = ["Warsaw", "Copenhagen", "Lisbon"]
PRIVATE = 2          # the last PRIVATE users carry description OmbriPrivateUser
PHOTO_EVERY = 10     # users 0, 10, 20, ... have a thumbnailPhoto
DONT_EXPIRE = 0x10000
NORMAL_ACCOUNT = 0x200


def attr(name, value):
    raw = value if isinstance(value, bytes) else value.encode("utf-8")
    safe = (raw and raw[0:1] not in (b" ", b":", b"<") and not raw.endswith(b" ")
            and all(0x20 <= b < 0x7F for b in raw))
    if safe:
        return "%s: %s" % (name, raw.decode("ascii"))
    return "%s:: %s" % (name, base64.b64encode(raw).decode("ascii"))


def entry(dn, pairs):
    return "\n".join([attr("dn", dn)] + [attr(n, v) for n, v in pairs]) + "\n\n"


def unicode_pwd(password):
    return ('"%s"' % password).encode("utf-16-le")


def photo(i):
    """A JPEG-looking blob of 200 to 700 bytes with NUL bytes inside."""
    size = 200 + (i * 37) % 500
    body = bytearray()
    n = 0
    while len(body) < size:
        body += hashlib.sha256(b"hostkit-photo-%d-%d" % (i, n)).digest()
        n += 1
    body = body[:size]
    for k in range(0, size, 16):  # a NUL every 16 bytes at least
        body[k] = 0
    return b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01" + bytes(body) + b"\xff\xd9"


def person_name(i):
    if i < len(NAMED):
        return NAMED[i]
    return (GIVEN[i % len(GIVEN)], "%s%03d" % (SURNAMES[(i // len(GIVEN)) % len(SURNAMES)], i))


def user_dn(i, base):
    given, sn = person_name(i)
    return "CN=%s %s,OU=People,%s" % (given, sn, base)


def groups_of(i):
    g = ["All Staff", "Dept " + DEPTS[i % len(DEPTS)], "Site " + SITES[i % len(SITES)]]
    if i % 2 == 0:
        g.append("Project Atlas")
    return g


def group_dn(name, base):
    return "CN=%s,OU=Groups,%s" % (name, base)


def bulk_dn(i, base):
    return "CN=bulk%04d,OU=Bulk,%s" % (i, base)


READER_CN = "Hostkit Reader"


def ldif(base, users, big, reader_pw, user_pw, out):
    for ou in ("People", "Groups", "Bulk"):
        out.write(entry("OU=%s,%s" % (ou, base),
                        [("objectClass", "organizationalUnit"), ("ou", ou)]))
    out.write(entry("CN=%s,CN=Users,%s" % (READER_CN, base), [
        ("objectClass", "user"), ("sAMAccountName", "hkreader"),
        ("givenName", "Hostkit"), ("sn", "Reader"), ("displayName", READER_CN),
        ("unicodePwd", unicode_pwd(reader_pw)),
        ("userAccountControl", str(NORMAL_ACCOUNT | DONT_EXPIRE))]))
    members = {}
    for i in range(users):
        given, sn = person_name(i)
        dn = user_dn(i, base)
        pairs = [
            ("objectClass", "user"),
            ("sAMAccountName", "p%04d" % i),
            ("givenName", given), ("sn", sn), ("displayName", "%s %s" % (given, sn)),
            ("initials", given[0]),
            ("mail", "p%04d@hostkit.test" % i),
            ("userPrincipalName", "p%04d@hostkit.test" % i),
            ("telephoneNumber", "+45 3300 %04d" % i),
            ("mobile", "+48 600 %06d" % i),
            ("department", DEPTS[i % len(DEPTS)]),
            ("l", SITES[i % len(SITES)]),
            ("title", "Engineer" if i % 3 else "Manager"),
        ]
        if i >= users - PRIVATE:
            pairs.append(("description", "OmbriPrivateUser"))
        if i % PHOTO_EVERY == 0:
            pairs.append(("thumbnailPhoto", photo(i)))
        if i == 0:  # the first named user can bind: a DN outside ASCII
            pairs += [("unicodePwd", unicode_pwd(user_pw)),
                      ("userAccountControl", str(NORMAL_ACCOUNT | DONT_EXPIRE))]
        out.write(entry(dn, pairs))
        for g in groups_of(i):
            members.setdefault(g, []).append(dn)
    for i in range(big):
        out.write(entry(bulk_dn(i, base), [
            ("objectClass", "user"), ("sAMAccountName", "bulk%04d" % i),
            ("sn", "Bulk%04d" % i), ("mail", "bulk%04d@hostkit.test" % i)]))
    order = ["All Staff"] + ["Dept " + d for d in DEPTS] + ["Site " + s for s in SITES] \
        + ["Project Atlas"]
    for g in order:
        out.write(entry(group_dn(g, base), [("objectClass", "group"),
                                            ("sAMAccountName", g.replace(" ", "-").lower())]
                        + [("member", m) for m in members.get(g, [])]))
    out.write(entry(group_dn("Everyone Bulk", base), [
        ("objectClass", "group"), ("sAMAccountName", "everyone-bulk")]
        + [("member", bulk_dn(i, base)) for i in range(big)]))


def shq(s):
    return "'" + s.replace("'", "'\\''") + "'"


def facts(base, users, big, out):
    photo_users = len(range(0, users, PHOTO_EVERY))
    first = person_name(0)
    odd = 1 if users > 1 else 0
    values = {
        "PEOPLE_BASE": "OU=People," + base,
        "GROUPS_BASE": "OU=Groups," + base,
        "BULK_BASE": "OU=Bulk," + base,
        "BULK_USERS": str(big),
        "USERS": str(users),
        "PRIVATE_USERS": str(min(PRIVATE, users)),
        "PHOTO_USERS": str(photo_users),
        "BIG_GROUP_DN": group_dn("Everyone Bulk", base),
        "BIG_GROUP_MEMBERS": str(big),
        "STAFF_GROUP_DN": group_dn("All Staff", base),
        # user 0: non-ASCII name, four groups, a photo, a password
        "UNICODE_USER_DN": user_dn(0, base),
        "UNICODE_USER_CN": "%s %s" % first,
        "UNICODE_USER_MEMBEROF": str(len(groups_of(0))),
        "PHOTO_USER_DN": user_dn(0, base),
        "PHOTO_SHA256": hashlib.sha256(photo(0)).hexdigest(),
        "PHOTO_BYTES": str(len(photo(0))),
        # user 1: odd, so three groups
        "ODD_USER_DN": user_dn(odd, base),
        "ODD_USER_MEMBEROF": str(len(groups_of(odd))),
    }
    for k, v in values.items():
        out.write("HOSTKIT_AD_%s=%s\n" % (k, shq(v)))


def main(argv):
    if len(argv) == 6 and argv[0] == "ldif":
        ldif(argv[1], int(argv[2]), int(argv[3]), argv[4], argv[5], sys.stdout)
    elif len(argv) == 4 and argv[0] == "facts":
        facts(argv[1], int(argv[2]), int(argv[3]), sys.stdout)
    else:
        sys.stderr.write("usage: makedata.py ldif BASE USERS BIG READER_PW USER_PW | "
                         "facts BASE USERS BIG\n")
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
