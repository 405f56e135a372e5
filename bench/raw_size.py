#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes a raw-size copy of a small TIFF-based file (DNG, NEF, CR2, TIFF).

    raw_size.py SOURCE TARGET BYTES

The last strip (or tile) of the file's largest image moves to the end of the file and grows with noise until the
file is BYTES long; its offset and byte count are set to match. Every directory and date stays where it was, so a
reader takes the grown file as it took the original, and a writer has a camera-sized block of image data to copy.
Exits 1 with a reason when the file has no image whose strip can grow (a byte count stored as SHORT, say).
"""
import os
import struct
import sys

TYPE_SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8, 13: 4, 16: 8, 17: 8, 18: 8}
LONG_TYPES = (4, 13)
WIDTH, HEIGHT, SUB_IFDS, EXIF_IFD = 0x0100, 0x0101, 0x014A, 0x8769
IMAGE_DATA = ((0x0111, 0x0117), (0x0144, 0x0145))  # strip offsets and counts, tile offsets and counts


class Ifd:
    def __init__(self):
        self.entries = {}  # tag -> (type, count, position of the value in the file)


def read_ifds(data, order):
    """Every directory reachable from the header: the IFD chain, SubIFDs and the EXIF directory."""
    def u16(pos):
        return struct.unpack_from(order + 'H', data, pos)[0]

    def u32(pos):
        return struct.unpack_from(order + 'I', data, pos)[0]

    ifds, seen, pending = [], set(), [u32(4)]
    while pending:
        at = pending.pop(0)
        if at in seen or at == 0 or at + 2 > len(data):
            continue
        seen.add(at)
        ifd = Ifd()
        count = u16(at)
        for i in range(count):
            pos = at + 2 + 12 * i
            if pos + 12 > len(data):
                break
            tag, typ, n = struct.unpack_from(order + 'HHI', data, pos)
            size = TYPE_SIZES.get(typ, 1) * n
            where = pos + 8 if size <= 4 else u32(pos + 8)
            if where + size > len(data):
                continue
            ifd.entries[tag] = (typ, n, where)
            if tag in (SUB_IFDS, EXIF_IFD) and typ in LONG_TYPES:
                pending.extend(u32(where + 4 * k) for k in range(n))
        ifds.append(ifd)
        next_at = at + 2 + 12 * count
        if next_at + 4 <= len(data):
            pending.append(u32(next_at))
    return ifds


def value(data, order, entry, index=0):
    typ, _, where = entry
    if typ == 3:
        return struct.unpack_from(order + 'H', data, where + 2 * index)[0]
    return struct.unpack_from(order + 'I', data, where + 4 * index)[0]


def growable_image(data, order, ifds):
    """(offsets entry, counts entry) of the largest image whose last offset and count are 32-bit, or None."""
    best, best_area = None, -1
    for ifd in ifds:
        for offsets_tag, counts_tag in IMAGE_DATA:
            offsets, counts = ifd.entries.get(offsets_tag), ifd.entries.get(counts_tag)
            if not offsets or not counts or offsets[0] not in LONG_TYPES or counts[0] not in LONG_TYPES:
                continue
            if offsets[1] != counts[1] or offsets[1] == 0:
                continue
            area = 1
            for tag in (WIDTH, HEIGHT):
                area *= value(data, order, ifd.entries[tag]) if tag in ifd.entries else 0
            if area >= best_area:
                best, best_area = (offsets, counts), area
    return best


def main():
    source, target, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
    data = bytearray(open(source, 'rb').read())
    order = {b'II': '<', b'MM': '>'}.get(bytes(data[:2]))
    if order is None or struct.unpack_from(order + 'H', data, 2)[0] != 42:
        sys.exit('%s: not a TIFF-based file' % source)
    image = growable_image(data, order, read_ifds(data, order))
    if image is None:
        sys.exit('%s: no image with 32-bit strip offsets and counts' % source)
    offsets, counts = image
    last = offsets[1] - 1
    old_at, old_count = value(data, order, offsets, last), value(data, order, counts, last)
    block = bytes(data[old_at:old_at + old_count])
    if len(data) % 2:
        data += b'\0'  # image data starts on a word boundary
    new_at = len(data)
    grown = size - new_at
    if grown < len(block):
        sys.exit('%s: already %d bytes, more than %d' % (source, new_at, size))
    struct.pack_into(order + 'I', data, offsets[2] + 4 * last, new_at)
    struct.pack_into(order + 'I', data, counts[2] + 4 * last, grown)
    with open(target, 'wb') as out:
        out.write(data)
        out.write(block)
        out.write(os.urandom(grown - len(block)))


if __name__ == '__main__':
    main()
