#!/usr/bin/env python3
"""Writes the blank page: a 1-page bilevel TIFF, letter size at 200 dpi, PackBits rows, white."""
import struct
import sys

WIDTH, HEIGHT, DPI = 1700, 2200, 200


def packbits_zero_row(nbytes):
    out = bytearray()
    while nbytes > 0:
        run = min(nbytes, 128)
        out += bytes([257 - run, 0]) if run > 1 else bytes([0, 0])
        nbytes -= run
    return bytes(out)


def main(path):
    row = packbits_zero_row((WIDTH + 7) // 8)  # WhiteIsZero: 0 bits are white
    strip = row * HEIGHT
    entries = [  # tag, type, count, value
        (256, 3, 1, WIDTH), (257, 3, 1, HEIGHT), (258, 3, 1, 1), (259, 3, 1, 32773),
        (262, 3, 1, 0), (273, 4, 1, None), (277, 3, 1, 1), (278, 3, 1, HEIGHT),
        (279, 4, 1, len(strip)), (282, 5, 1, None), (283, 5, 1, None), (296, 3, 1, 2),
    ]
    ifd_offset = 8
    ifd_size = 2 + 12 * len(entries) + 4
    res_offset = ifd_offset + ifd_size
    strip_offset = res_offset + 16
    ifd = struct.pack('<H', len(entries))
    for tag, typ, count, value in entries:
        if tag == 273:
            value = strip_offset
        elif tag == 282:
            value = res_offset
        elif tag == 283:
            value = res_offset + 8
        fmt = '<HHIHH' if typ == 3 else '<HHII'
        ifd += struct.pack(fmt, tag, typ, count, value, 0) if typ == 3 else struct.pack(fmt, tag, typ, count, value)
    ifd += struct.pack('<I', 0)
    data = b'II' + struct.pack('<HI', 42, ifd_offset) + ifd + struct.pack('<IIII', DPI, 1, DPI, 1) + strip
    with open(path, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'clear.tif')
