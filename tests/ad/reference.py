#!/usr/bin/env python3
"""reference.py -- what OpenLDAP's ldapsearch reads from the AD fixture, as Tcl.

Run inside the fixture's namespace (tests/ad/dc.sh exec) with the fixture's
variables in the environment. Writes a Tcl script that sets the array ::adref:

  adref(people)      dict: hex of cn -> dict attribute -> list of values
  adref(bulkMembers) the member values of the big group, as ldapsearch gets
                     them without ranges
  adref(bulkRanged)  the member values of the big group through ranged
                     requests of HOSTKIT_AD_RANGE values, as a client walks them

Every value is the hexadecimal of its bytes, so that the Tcl side compares
exact bytes whatever they hold. Usage: reference.py OUT.tcl
"""

import base64
import os
import subprocess
import sys

ENV = os.environ


def ldapsearch(base, flt, attrs, scope="sub"):
    cmd = ["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-o", "nettimeout=10",
           "-H", "ldaps://" + ENV["HOSTKIT_AD_NAME"], "-D", ENV["HOSTKIT_AD_BINDDN"],
           "-w", ENV["HOSTKIT_AD_PASSWORD"], "-s", scope, "-b", base, flt] + attrs
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


def main():
    out = open(sys.argv[1], "w")
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
