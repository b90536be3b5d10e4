#!/usr/bin/env python3
"""Turns an X window dump (xwd, TrueColor, 24 or 32 bits per pixel) into an RGB PNG.

Usage: xwd ... | scripts/xwd2png.py OUT.png   (or: scripts/xwd2png.py IN.xwd OUT.png)
Only the standard library: the screenshots of docs/screenshots/ need nothing else.
"""
import struct
import sys
import zlib


def shift_of(mask):
    s = 0
    while mask and not mask & 1:
        mask >>= 1
        s += 1
    return s, mask


def convert(data):
    h = struct.unpack('>25I', data[:100])
    header_size, width, height = h[0], h[4], h[5]
    byte_order, bpp, bpl, visual = h[7], h[11], h[12], h[13]
    masks, ncolors = h[14:17], h[19]
    if visual not in (4, 5) or bpp not in (24, 32):
        raise SystemExit('xwd2png: only TrueColor dumps of 24 or 32 bits per pixel (got class %d, %d bpp)' % (visual, bpp))
    pixels = header_size + 12 * ncolors
    step = bpp // 8
    order = 'little' if byte_order == 0 else 'big'
    channels = [shift_of(m) for m in masks]
    rows = []
    for y in range(height):
        row = bytearray(b'\0')  # filter: none
        base = pixels + y * bpl
        for x in range(width):
            v = int.from_bytes(data[base + x * step:base + (x + 1) * step], order)
            for s, m in channels:
                row.append(((v >> s) & m) * 255 // m if m else 0)
        rows.append(bytes(row))

    return png_bytes(width, height, rows)


def png_bytes(width, height, rows):
    """An 8-bit RGB PNG of rows that each start with their filter byte (0)."""
    def chunk(kind, body):
        c = kind + body
        return struct.pack('>I', len(body)) + c + struct.pack('>I', zlib.crc32(c) & 0xFFFFFFFF)

    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))


def main():
    args = sys.argv[1:]
    if len(args) == 1:
        data = sys.stdin.buffer.read()
    elif len(args) == 2:
        with open(args[0], 'rb') as f:
            data = f.read()
    else:
        raise SystemExit(__doc__)
    with open(args[-1], 'wb') as f:
        f.write(convert(data))


if __name__ == '__main__':
    main()
