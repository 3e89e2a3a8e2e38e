#!/usr/bin/env python3
"""Pixel queries on a binary PPM (P6) screenshot, for the real-window test.

  pixels.py FILE at X Y                    -> "R G B"
  pixels.py FILE darkest X0 Y0 X1 Y1       -> lowest (R+G+B)/3 in the inclusive rectangle
"""
import sys


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise SystemExit("not an 8-bit P6 file")
    return int(fields[1]), int(fields[2]), data[pos:]


def main():
    path, command, *args = sys.argv[1:]
    width, height, pixels = read_ppm(path)
    coords = [int(a) for a in args]

    def at(x, y):
        if not (0 <= x < width and 0 <= y < height):
            raise SystemExit(f"({x}, {y}) is outside {width}x{height}")
        i = 3 * (y * width + x)
        return pixels[i], pixels[i + 1], pixels[i + 2]

    if command == "at":
        print(*at(*coords))
    elif command == "darkest":
        x0, y0, x1, y1 = coords
        print(min(sum(at(x, y)) // 3 for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)))
    else:
        raise SystemExit(f"unknown command {command}")


main()
