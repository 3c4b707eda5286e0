#!/usr/bin/env python3
"""Writes scramble_vectors.txt: known answers for the INI password forms,
computed with Python's own MD5 so that the tests check our scrambling and
the platform's MD5 against an independent implementation.

Line format: user-hex password-hex V-form older-form ("-" for empty)."""
import hashlib
import os
import random


def v_form(user, pw):
    d = hashlib.md5(user + pw + b"%4!x!7").hexdigest().upper()
    return "V" + d + "".join("%02X" % ((c + i + (ord(d[i % 32]) & 0x3F)) & 0xFF) for i, c in enumerate(pw))


def old_form(pw):
    return "".join("%02X" % ((c + i) & 0xFF) for i, c in enumerate(pw))


def main():
    rng = random.Random(6)
    cases = [
        (b"anonymous", b"guest@example.org"),
        (b"bob", b"secret"),
        (b"", b"x"),
        (b"fw-user", b"Fire wall;pass=1"),
        (b"m\xfcller", b"p\xe4ss\xff\x80\x81\x7f"),
        (b"user79", bytes(rng.randrange(33, 127) for _ in range(79))),
        (b"user255", bytes(rng.randrange(1, 256) for _ in range(255))),
        (b"bob", b""),
    ]
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scramble_vectors.txt")
    with open(out, "w") as f:
        for u, p in cases:
            f.write("%s %s %s %s\n" % (u.hex() or "-", p.hex() or "-", v_form(u, p), old_form(p) or "-"))


if __name__ == "__main__":
    main()
