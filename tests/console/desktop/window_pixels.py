#!/usr/bin/python3
"""What an X window shows, from an `xwd` dump.

  xwd -silent -id WINDOW | window_pixels.py [--png FILE]

Prints "WIDTHxHEIGHT COLOURS" (the number of distinct colours in the window; an empty tray slot
or an unpainted window has one or two) and optionally writes the picture as a PNG.
"""

import argparse
import struct
import sys
import zlib


def read_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, _, _, depth, width, height = fields[0:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    if bits_per_pixel not in (24, 32) or depth not in (24, 32):
        raise SystemExit("window_pixels: only 24/32-bit TrueColor dumps are read (got %d/%d)"
                         % (depth, bits_per_pixel))
    offset = header_size + ncolors * 12
    order = "<" if byte_order == 0 else ">"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = [shift(m) for m in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(height):
        start = offset + y * bytes_per_line
        if bits_per_pixel == 32:
            words = struct.unpack_from("%s%dI" % (order, width), data, start)
        else:
            line = data[start:start + 3 * width]
            words = [int.from_bytes(line[3 * x:3 * x + 3], "little" if order == "<" else "big")
                     for x in range(width)]
        rows.append([tuple((w >> s) & 0xFF for s in shifts) for w in words])
    return width, height, rows


def write_png(path, width, height, rows):
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--png")
    args = parser.parse_args()
    data = sys.stdin.buffer.read()
    if len(data) < 100:
        raise SystemExit("window_pixels: no xwd dump on standard input")
    width, height, rows = read_xwd(data)
    colours = {px for row in rows for px in row}
    if args.png:
        write_png(args.png, width, height, rows)
    print("%dx%d %d" % (width, height, len(colours)))


if __name__ == "__main__":
    main()
