#!/usr/bin/env python3
"""Writes the wide-pixel fixtures q1.pnm to q5.pnm beside this script.

Each file is a header "Qn\n<width> <height>\n" followed by big-endian elements, rows back to
back. Pixel (x, y) of a 7 x 3 image holds value(x, y) (and, for Q5, value(x, y) + 0.5 and
value(x, y) * -2 as green and blue), the same formulas the image tests check against.
"""
import os
import struct

WIDTH, HEIGHT = 7, 3


def value(x, y):
    return (x - 3) * 1000.25 + y * 7.5


def write(name, magic, fmt, pixel):
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as f:
        f.write(b"%s\n%d %d\n" % (magic, WIDTH, HEIGHT))
        for y in range(HEIGHT):
            for x in range(WIDTH):
                f.write(struct.pack(">" + fmt, *pixel(x, y)))


write("q1.pnm", b"Q1", "f", lambda x, y: [value(x, y)])
write("q2.pnm", b"Q2", "d", lambda x, y: [value(x, y) / 3])
write("q3.pnm", b"Q3", "i", lambda x, y: [int(value(x, y) * 1000)])
write("q4.pnm", b"Q4", "h", lambda x, y: [int(value(x, y) * 10)])
write("q5.pnm", b"Q5", "fff", lambda x, y: [value(x, y), value(x, y) + 0.5, value(x, y) * -2])
