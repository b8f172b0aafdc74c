#!/usr/bin/env python3
"""Reads a vCard file with python-vobject, a reader independent of this program, and prints what
it understood: a JSON list with one list of strings per card, each "NAME[label]:value".

The label is that of the property's group (its X-ABLabel line), empty when there is none; the
label lines themselves are not listed. An e-mail address shows its TYPE words, sorted, as
"EMAIL(home,internet)". Structured values (N, ADR, ORG) have their components
joined by "|"; a component or a list value that the reader split into several items shows as a
JSON list, a list of one item as that item. Photos are
given as their bytes in Base64. Nothing here touches the network.

Exit status 3 when vobject cannot be imported, 2 on a usage error.
"""

import base64
import json
import sys

try:
    import vobject
except ImportError:
    sys.exit(3)


def component(value):
    if isinstance(value, list):
        return json.dumps(value, ensure_ascii=False)
    return value


def value_text(line):
    name = line.name.upper()
    value = line.value
    if name == "N":
        parts = [value.family, value.given, value.additional, value.prefix, value.suffix]
        return "|".join(component(p) for p in parts)
    if name == "ADR":
        parts = [value.box, value.extended, value.street, value.city, value.region, value.code,
                 value.country]
        return "|".join(component(p) for p in parts)
    if name == "ORG":
        return "|".join(component(p) for p in value)
    if isinstance(value, bytes):
        return base64.b64encode(value).decode("ascii")
    if isinstance(value, list):
        # A list property (CATEGORIES, NICKNAME): one item is the value itself.
        return value[0] if len(value) == 1 else json.dumps(value, ensure_ascii=False)
    return value


def card_values(card):
    lines = [line for children in card.contents.values() for line in children]
    labels = {}
    for line in lines:
        if line.name.upper() == "X-ABLABEL" and line.group:
            labels[line.group.lower()] = line.value
    out = []
    for line in lines:
        name = line.name.upper()
        if name in ("X-ABLABEL", "VERSION"):
            continue
        label = labels.get(line.group.lower(), "") if line.group else ""
        if name == "EMAIL":
            # The types another reader sees, as it would file the address.
            types = sorted(t.lower() for t in line.params.get("TYPE", []))
            name = "EMAIL(%s)" % ",".join(types)
        out.append("%s[%s]:%s" % (name, label, value_text(line)))
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(2)
    with open(sys.argv[1], encoding="utf-8", newline="") as f:
        text = f.read()
    cards = [card_values(card) for card in vobject.readComponents(text)]
    json.dump(cards, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
