#!/usr/bin/env python3
"""psnr.py A B: the peak signal-to-noise ratio of picture A against B in dB
(8-bit PNG or binary PPM; "identical" when equal), and how many pixels differ.
Without dependencies beyond Python, so that it runs wherever the farm does."""
import math
import struct
import sys
import zlib


def read_png(path):
    data = open(path, 'rb').read()
    pos, idat = 8, b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', chunk[:10])
            if depth != 8 or colour not in (2, 6):
                sys.exit(f'psnr: {path}: only 8-bit RGB or RGBA PNG')
        elif kind == b'IDAT':
            idat += chunk
        pos += 12 + length
    raw = zlib.decompress(idat)
    bpp = 3 if colour == 2 else 4
    stride = width * bpp
    rows, prev, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(v for i, v in enumerate(line) if i % bpp < 3))
        prev = line
    return width, height, b''.join(rows)


def read_ppm(path):
    data = open(path, 'rb').read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b'#':
            at = data.index(b'\n', at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at + 1:at + 1 + width * height * 3]


def read(path):
    return read_ppm(path) if open(path, 'rb').read(2) == b'P6' else read_png(path)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    wa, ha, a = read(sys.argv[1])
    wb, hb, b = read(sys.argv[2])
    if (wa, ha) != (wb, hb):
        sys.exit(f'psnr: sizes differ: {wa}x{ha} and {wb}x{hb}')
    squares = sum((x - y) * (x - y) for x, y in zip(a, b))
    differing = sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
    psnr = 'identical' if squares == 0 else f'{10 * math.log10(255 * 255 * len(a) / squares):.1f}'
    print(psnr, differing)


if __name__ == '__main__':
    main()
