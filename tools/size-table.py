#!/usr/bin/env python3
"""Sums the bytes a GNU ld link map places in the program's loaded sections,
by input object or library: python3 tools/size-table.py service.map [rows]."""
import collections
import os
import re
import sys

SECTIONS = ('.text', '.data', '.rdata', '.eh_frame', '.pdata', '.xdata',
            '.CRT', '.tls', '.bss')
LINE = re.compile(r'^ (\.[\w.$]+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$')


def owner(path):
    """Names an input by its library member, or by its object file."""
    m = re.match(r'(.*?)\((.*)\)$', path)
    if not m:
        return os.path.basename(path)
    lib = os.path.basename(m.group(1))
    if lib.startswith('libtarni_'):
        return m.group(2)
    return lib


def main():
    if len(sys.argv) < 2:
        sys.exit('usage: size-table.py MAP [ROWS]')
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 25
    sizes = collections.defaultdict(lambda: collections.Counter())
    section = None
    pending = None
    with open(sys.argv[1], errors='replace') as f:
        for line in f:
            top = re.match(r'^(\.[\w$]+)\s', line)
            if top:
                section = top.group(1)
                continue
            if pending and re.match(r'^\s+0x', line):
                line = ' ' + pending + line
                pending = None
            m = LINE.match(line)
            if not m:
                single = re.match(r'^ (\.[\w.$]+)\s*$', line)
                pending = single.group(1) if single else None
                continue
            if section not in SECTIONS or not m.group(1):
                continue
            size = int(m.group(3), 16)
            if size and m.group(2) != '0' * len(m.group(2)):
                sizes[owner(m.group(4).strip())][section] += size
    total = collections.Counter()
    for counter in sizes.values():
        total.update(counter)
    print('| Input | .text | .rdata + .data | .eh_frame | .bss | total (no .bss) |')
    print('|---|---:|---:|---:|---:|---:|')

    def loaded(c):
        return sum(v for k, v in c.items() if k != '.bss')
    for name, c in sorted(sizes.items(), key=lambda kv: -loaded(kv[1]))[:rows]:
        print('| %s | %d | %d | %d | %d | %d |' % (
            name, c['.text'], c['.rdata'] + c['.data'], c['.eh_frame'], c['.bss'], loaded(c)))
    print('| all | %d | %d | %d | %d | %d |' % (
        total['.text'], total['.rdata'] + total['.data'], total['.eh_frame'],
        total['.bss'], loaded(total)))


if __name__ == '__main__':
    main()
