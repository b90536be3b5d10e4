#!/usr/bin/env python3
"""Crops a PNG at 1:1 (8-bit greyscale, RGB or RGBA, not interlaced), with nothing but the
standard library:  scripts/crop-png.py IN.png OUT.png X Y WIDTH HEIGHT
The rectangle is cut to the picture; the output is 8-bit RGB."""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xwd2png import png_bytes  # noqa: E402


def read_png(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit(f'crop-png: {path} is not a PNG file')
    pos, idat, header = 8, [], None
    while pos + 8 <= len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            header = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            idat.append(body)
        elif kind == b'IEND':
            break
        pos += 12 + length
    if header is None:
        sys.exit(f'crop-png: {path} has no header')
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace:
        sys.exit(f'crop-png: {path}: only 8-bit grey, RGB or RGBA pictures without interlacing')
    raw = zlib.decompress(b''.join(idat))
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return width, height, channels, rows


def main():
    if len(sys.argv) != 7:
        sys.exit('usage: scripts/crop-png.py IN.png OUT.png X Y WIDTH HEIGHT')
    width, height, channels, rows = read_png(sys.argv[1])
    x, y, w, h = (int(v) for v in sys.argv[3:7])
    x0, y0 = max(0, x), max(0, y)
    x1, y1 = min(width, x + w), min(height, y + h)
    if x1 <= x0 or y1 <= y0:
        sys.exit('crop-png: the rectangle lies outside the picture')
    out = []
    for r in rows[y0:y1]:
        line = bytearray()
        for i in range(x0, x1):
            px = r[i * channels:(i + 1) * channels]
            line += px * 3 if channels == 1 else px[:3]
        out.append(line)
    with open(sys.argv[2], 'wb') as f:
        f.write(png_bytes(x1 - x0, y1 - y0, [b'\0' + bytes(r) for r in out]))


if __name__ == '__main__':
    main()
