#!/usr/bin/env python3
"""Writes framework/text/unicodetbl.cpp, the code page tables of UNICODE,
from Python's codecs. Run by hand; the output is committed:

    python3 tools/gen_unicodetbl.py framework/text/unicodetbl.cpp

Each table is stored as its changes against a base: the identity, or an
earlier table that the C++ side copies first (the ISO 8859 tables that
resemble a Windows table, and DOS Turkish after DOS Latin1).
"""

import codecs
import platform
import sys

UNDEFINED = 127  # code point of a byte that the code page leaves undefined

# name, code page id, codec, font charset, family, double-byte, base table index
TABLES = [
    ("Latin I", 1252, "cp1252", 0, 513, 0, None),
    ("DOS/OEM", 437, "cp437", 255, 1024, 0, None),
    ("Central Europe", 1250, "cp1250", 238, 514, 0, None),
    ("Cyrillic", 1251, "cp1251", 204, 517, 0, None),
    ("Greek", 1253, "cp1253", 161, 519, 0, None),
    ("DOS Greek", 737, "cp737", 255, 1041, 0, None),
    ("DOS Russian", 866, "cp866", 255, 1051, 0, None),
    ("DOS Central European (Slavic)", 852, "cp852", 255, 1042, 0, None),
    ("MAC Roman", 999, "mac_roman", 0, 0, 0, None),
    ("KOI8R", 878, "koi8_r", 255, 2562, 0, None),
    ("Arabic", 1256, "cp1256", 178, 518, 0, None),
    ("Hebrew", 1255, "cp1255", 177, 519, 0, None),
    ("DOS Latin1", 850, "cp850", 255, 1040, 0, None),
    ("Korean", 949, "cp949", 255, 1058, 1, None),
    ("Turkish", 1254, "cp1254", 162, 521, 0, None),
]
ISO_BASE = {1: 0, 2: 2, 7: 4, 8: 11, 9: 14, 15: 0}
for n in range(1, 17):
    if n != 12:
        TABLES.append(("ISO 8859-%d" % n, 8859 + n, "iso8859_%d" % n, 0, 512 + n, 0, ISO_BASE.get(n)))
TABLES.append(("DOS Turkish", 857, "cp857", 0, 1044, 0, 12))


def decode(codec, byte):
    try:
        text = bytes([byte]).decode(codec)
    except UnicodeDecodeError:
        return UNDEFINED
    assert len(text) == 1, (codec, byte, text)
    return ord(text)


def code_points(codepage, codec):
    if codepage == 949:
        # Single bytes only: ASCII from the codec, the lead bytes 0x81..0xFE
        # as 0 (their characters are converted by the system), the rest identity.
        points = list(range(256))
        for b in range(0x80):
            points[b] = decode(codec, b)
        for b in range(0x81, 0xFF):
            assert any(len((bytes([b, t])).decode(codec, "ignore")) == 1 for t in range(0x41, 0xFF)), b
            points[b] = 0
        return points
    points = [decode(codec, b) for b in range(256)]
    if 8860 <= codepage <= 8875:
        points[0x80:0xA0] = [UNDEFINED] * 0x20  # the C1 range is not text
    return points


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: python3 tools/gen_unicodetbl.py framework/text/unicodetbl.cpp")
    out_path = sys.argv[1]
    assert len(TABLES) == 31

    contents = []
    for name, cp, codec, charset, family, dbcs, base in TABLES:
        codecs.lookup(codec)
        contents.append(code_points(cp, codec))
    undefined1252 = [b for b, u in enumerate(contents[0]) if b >= 0x80 and u == UNDEFINED]
    assert undefined1252 == [0x81, 0x8D, 0x8F, 0x90, 0x9D], undefined1252
    assert contents[0][0x80] == 0x20AC and contents[0][0x9F] == 0x0178

    lines = [
        "// Made by: python3 tools/gen_unicodetbl.py %s" % out_path,
        "// From the codecs of Python %s; do not edit." % platform.python_version(),
        "",
        '#include "framework/text/unicode.h"',
        "",
        "namespace",
        "{",
    ]
    rows = []
    for index, (name, cp, codec, charset, family, dbcs, base) in enumerate(TABLES):
        before = list(range(256)) if base is None else contents[base]
        changes = [(b, contents[index][b]) for b in range(256) if contents[index][b] != before[b]]
        array = "Changes%d" % index
        lines.append("    // %s (%s)%s" % (name, codec, "" if base is None else ", against " + TABLES[base][0]))
        if changes:
            lines.append("    const uint16_t %s[] = {" % array)
            pairs = ["0x%02X,0x%04X" % c for c in changes]
            for i in range(0, len(pairs), 6):
                lines.append("        " + ", ".join(pairs[i:i + 6]) + ",")
            lines.append("    };")
        else:
            array = "0"
        rows.append('    {"%s", %d, %d, %d, %d, %d, %d, %s, %d},' % (
            name, cp, charset, family, dbcs, -1 if base is None else base,
            0 if base is None else TABLES[base][1], array, len(changes)))
    lines += [
        "}",
        "",
        "namespace UNICODETABLES",
        "{",
        "const UNICODESOURCE Sources[] = {",
    ] + rows + [
        "};",
        "const int Count = %d;" % len(TABLES),
        "}",
        "",
    ]
    with open(out_path, "w", newline="\n") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
