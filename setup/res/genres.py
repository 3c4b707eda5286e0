#!/usr/bin/env python3
"""Writes the installer's logo bitmap and icon into a folder:
  genres.py OUTDIR
The drawing helpers are the client's (client/res/genres.py)."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "client", "res"))
import genres as client  # noqa: E402


# The client's font has no "A".
client.FONT.setdefault("A", [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"])


def logo(path):
    W, H = 360, 160
    t1w, t1h, t1 = client.text_mask("TESSEL PRO", 5)
    t2w, t2h, t2 = client.text_mask("INSTALL", 3)
    o1 = ((W - t1w) // 2, 34)
    o2 = ((W - t2w) // 2, 100)

    def pixel(x, y):
        if x < 4 or y < 4 or x >= W - 4 or y >= H - 4:
            return (250, 210, 80)
        if (x - o1[0], y - o1[1]) in t1:
            return (255, 255, 255)
        if (x - o2[0], y - o2[1]) in t2:
            return (250, 210, 80)
        k = y * 255 // H
        return (10 + k // 8, 30 + k // 4, 110 + k // 3)

    client.bmp24(path, W, H, pixel)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    logo(os.path.join(out, "logo.bmp"))
    client.app_icon(os.path.join(out, "setup.ico"))


if __name__ == "__main__":
    main()
