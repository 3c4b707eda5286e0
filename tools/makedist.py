#!/usr/bin/env python3
"""Makes the distribution folder: every file in the Windows compress format
(Debian's mscompress), named with its last character replaced by "_" and
with the original last character stored in the header, beside the
uncompressed installer.

  makedist.py DIST CHECK SETUP_EXE NAME=PATH...

NAME=PATH puts PATH into the distribution as NAME (NAME may be "x64/..." for
the subfolder).  The placeholder help, release-notes, sound, documentation
and TESSEL.ini files are written here.  CHECK receives each file as msexpand
expands it again, for the installation test to compare with; a file that
does not expand back to its source stops the build."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile


def wav(seconds, freq):
    rate = 8000
    n = int(rate * seconds)
    data = bytes(128 + int(60 * ((i * freq * 2 // rate) % 2 * 2 - 1)) for i in range(n))
    return (b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, rate, rate, 1, 8) + b"data" + struct.pack("<I", len(data)) + data)


def text(title, lines=40):
    body = [title, "=" * len(title), ""]
    body += ["Placeholder line %d of the %s; the real content ships separately." % (i + 1, title)
             for i in range(lines)]
    return ("\r\n".join(body) + "\r\n").encode("ascii")


def pdf():
    content = b"BT /F1 18 Tf 72 720 Td (TESSEL Pro Documentation) Tj ET"
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
            b"/Resources << /Font << /F1 5 0 R >> >> >>",
            b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
            b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    out = b"%PDF-1.4\n"
    offsets = []
    for i, o in enumerate(objs):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + o + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    return out


PLACEHOLDERS = {
    "TESSEL.hlp": text("TESSEL Pro Help"),
    "tesselcore.hlp": text("Quillfold Help"),
    "tesselcore.cnt": b":Base tesselcore.hlp\r\n:Title Quillfold Help\r\n" + text("Contents", 20),
    "whatsnew.txt": text("TESSEL Pro Release Notes"),
    "complete.wav": wav(0.3, 880),
    "connect.wav": wav(0.2, 660),
    "error.wav": wav(0.4, 220),
    "TESSEL.pdf": pdf(),
    "TESSEL.ini": b"; TESSEL Pro sessions and settings\r\n[_config_]\r\nMAILADDR=guest@address.invalid\r\n" +
                  b"SESSION=\r\n" + b"".join(b"; %d\r\n" % i for i in range(10)),
}


def compress(src, dest, name, work):
    tmp = os.path.join(work, "f")
    shutil.copyfile(src, tmp)
    subprocess.run(["mscompress", tmp], check=True, stdout=subprocess.DEVNULL)
    packed = tmp + "_"
    with open(packed, "r+b") as f:
        head = f.read(14)
        if head[:8] != b"SZDD\x88\xf0\x27\x33":
            sys.exit("mscompress wrote no compress-format header for " + name)
        f.seek(9)
        f.write(name[-1].encode("ascii"))
    os.makedirs(os.path.dirname(dest), exist_ok=True)
    shutil.move(packed, dest)
    os.remove(tmp)


def expand(packed, dest, work):
    tmp = os.path.join(work, "e_")
    shutil.copyfile(packed, tmp)
    subprocess.run(["msexpand", tmp], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    out = os.path.join(work, "e")
    os.makedirs(os.path.dirname(dest), exist_ok=True)
    shutil.move(out, dest)
    os.remove(tmp)


def main():
    dist, check, setup_exe = sys.argv[1:4]
    for d in (dist, check):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    work = tempfile.mkdtemp(prefix="tessel-dist.")
    try:
        files = {}
        for name, data in PLACEHOLDERS.items():
            path = os.path.join(work, "src-" + name)
            with open(path, "wb") as f:
                f.write(data)
            files[name] = path
        for arg in sys.argv[4:]:
            name, path = arg.split("=", 1)
            if os.path.exists(path):
                files[name] = path
        shutil.copyfile(setup_exe, os.path.join(dist, "tesselsetup.exe"))
        for name, path in sorted(files.items()):
            cname = name[:-1] + "_"
            packed = os.path.join(dist, cname)
            compress(path, packed, os.path.basename(name), work)
            back = os.path.join(check, name)
            expand(packed, back, work)
            with open(path, "rb") as a, open(back, "rb") as b:
                if a.read() != b.read():
                    sys.exit("%s does not expand back to its source" % name)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
