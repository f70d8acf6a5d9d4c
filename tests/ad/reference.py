#!/usr/bin/env python3
"""reference.py -- what OpenLDAP's ldapsearch reads from the AD fixture, as Tcl.

Run inside the fixture's namespace (tests/ad/dc.sh exec) with the fixture's
variables in the environment. Writes a Tcl script that sets the array ::adref:

  adref(people)      dict: hex of cn -> dict attribute -> list of values
  adref(bulkMembers) the member values of the big group, as ldapsearch gets
                     them without ranges
  adref(bulkRanged)  the member values of the big group through ranged
                     requests of HOSTKIT_AD_RANGE values, as a client walks them
  adref(allUsers)    every user of the domain (objectClass=user under
                     HOSTKIT_AD_BASE, HOSTKIT_AD_ALL_USERS of them), read with
                     paging (-E pr=500/noprompt): dict hex of the DN -> dict
                     attribute -> list of values, for memberOf, objectGUID
                     and objectSid (an attribute the entry lacks is not there)
  adref(bulkUsers)   the same for the users of HOSTKIT_AD_BULK_BASE
                     (HOSTKIT_AD_BULK_USERS of them)

Every value, and every DN used as a key, is the hexadecimal of its bytes, so
that the Tcl side compares exact bytes whatever they hold. The paged searches
must bring the number of users the fixture made: otherwise nothing is
written and the exit status is 1. Usage: reference.py OUT.tcl
"""

import base64
import io
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ENV = os.environ


def ldapsearch(base, flt, attrs, scope="sub", paged=False):
    cmd = ["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-o", "nettimeout=10",
           "-H", "ldaps://" + ENV["HOSTKIT_AD_NAME"], "-D", ENV["HOSTKIT_AD_BINDDN"],
           "-w", ENV["HOSTKIT_AD_PASSWORD"], "-s", scope, "-b", base]
    cmd += (["-E", "pr=500/noprompt"] if paged else []) + [flt] + attrs
    env = dict(ENV, LDAPTLS_CACERT=ENV["HOSTKIT_AD_CA"], LDAPTLS_REQCERT="demand")
    out = subprocess.run(cmd, env=env, check=True, capture_output=True).stdout
    entries, current = [], None
    for line in out.split(b"\n"):
        if not line:
            current = None
            continue
        if line.startswith(b"#"):
            continue
        name, _, rest = line.partition(b":")
        if rest.startswith(b": "):
            value = base64.b64decode(rest[2:])
        else:
            value = rest[1:] if rest.startswith(b" ") else rest
        name = name.decode()
        if name == "dn":
            current = {"dn": [value]}
            entries.append(current)
        elif current is not None:
            current.setdefault(name, []).append(value)
    return entries


def hexlist(values):
    return "{" + " ".join(v.hex() for v in values) + "}"


def by_dn(base, expected):
    """Tcl commands setting a dict hex(dn) -> attribute -> hex values, from a paged search."""
    entries = ldapsearch(base, "(objectClass=user)", ["memberOf", "objectGUID", "objectSid"],
                         paged=True)
    if len(entries) != int(expected):
        raise SystemExit("reference.py: a paged search of %s brought %d users, the fixture made %s"
                         % (base, len(entries), expected))
    lines = []
    for e in entries:
        attrs = " ".join(f"{k} {hexlist(v)}" for k, v in e.items() if k != "dn")
        lines.append(f"{e['dn'][0].hex()} {{{attrs}}}")
    return lines


def main():
    # The two large searches run beside the others; nothing is written when
    # they fall short.
    pool = ThreadPoolExecutor(max_workers=2)
    all_users = pool.submit(by_dn, ENV["HOSTKIT_AD_BASE"], ENV["HOSTKIT_AD_ALL_USERS"])
    bulk_users = pool.submit(by_dn, ENV["HOSTKIT_AD_BULK_BASE"], ENV["HOSTKIT_AD_BULK_USERS"])
    text = io.StringIO()
    others(text)
    out = open(sys.argv[1] + ".tmp", "w")
    out.write(text.getvalue())
    for name, lines in (("allUsers", all_users.result()), ("bulkUsers", bulk_users.result())):
        out.write(f"set adref({name}) [dict create \\\n")
        out.write("".join(f"    {line} \\\n" for line in lines))
        out.write("]\n")
    out.close()
    os.replace(sys.argv[1] + ".tmp", sys.argv[1])


def others(out):
    people = ldapsearch(ENV["HOSTKIT_AD_PEOPLE_BASE"], "(objectClass=user)",
                        ["cn", "memberOf", "objectGUID", "objectSid", "thumbnailPhoto"])
    out.write("set adref(people) {}\n")
    for e in people:
        attrs = " ".join(f"{k} {hexlist(v)}" for k, v in e.items() if k != "dn")
        out.write(f"dict set adref(people) {e['cn'][0].hex()} {{{attrs}}}\n")

    group = ENV["HOSTKIT_AD_BIG_GROUP_DN"]
    whole = ldapsearch(group, "(objectClass=*)", ["member"], scope="base")[0]["member"]
    out.write(f"set adref(bulkMembers) {hexlist(whole)}\n")

    step, low, ranged = int(ENV["HOSTKIT_AD_RANGE"]), 0, []
    while True:
        entry = ldapsearch(group, "(objectClass=*)", [f"member;range={low}-{low + step - 1}"],
                           scope="base")[0]
        name = next(k for k in entry if k.lower().startswith("member;range="))
        ranged += entry[name]
        if name.endswith("-*"):
            break
        low += step
    out.write(f"set adref(bulkRanged) {hexlist(ranged)}\n")


if __name__ == "__main__":
    main()
