#!/usr/bin/env python3
"""Scripted fake FTP server for the tests.

It covers what real servers will not do on request: each host type's
greeting and SYST reply, firewall login dialogues, multi-line and split
replies, odd PASV texts, slow, truncated and dropped connections.

A control listener takes one request per connection:
  LOAD name\\n          replay tests/fake/scripts/name.txt on a new listener
  INLINE port\\n<text>  replay <text> (until EOF) on a new listener (port 0 = any)
  LOG port\\n           lines the listener received; waits for its session end
The answer to LOAD/INLINE is the new listener's port ("0" on failure).

Script lines (one directive each, '#' starts a comment line):
  send TEXT        send TEXT + CR LF (TEXT takes \\r \\n \\t \\xNN escapes)
  raw TEXT         send TEXT as is, no CR LF added
  split N TEXT     send TEXT + CR LF in pieces of N bytes, 50 ms apart
  repeat N TEXT    send TEXT + CR LF N times in one write
  expect REGEX     read one command; a mismatch is logged as "! ..." ('*' = any)
  sleep SECONDS    pause
  close            drop the connection now
  sessions N       accept N sessions in turn (default 1), each replays the script
  pasv [TEXT]      open a data listener; send TEXT with %s replaced by
                   "127,0,0,1,p1,p2" and %p by "p1,p2" alone (default
                   "227 Entering Passive Mode (%s)")
  port             take the address of the last PORT command for data
  dataconnect      accept (after pasv) or connect (after port) the data connection
  datasend TEXT    send TEXT (escapes) on the data connection
  datafile N       send N bytes of a repeating pattern on the data connection
  datarecv         read the data connection to its end; logged as "#data N bytes"
  dataclose        close the data connection
  datareset        drop the data connection with a reset (RST) instead
  urgent           wait up to 5 s for urgent (out-of-band) data on the control
                   connection; logged as "#urgent XX" (hex) or "#urgent none"
  thirdparty TEXT  (after port) connect to the client's data port from
                   127.0.0.2, as someone else on the network would, send TEXT
                   and read until the client closes; logged as
                   "#thirdparty closed N" (N bytes received) or
                   "#thirdparty open N" when still open after 5 s
  dribble S TEXT   send TEXT one byte every S seconds, no CR LF
  flood TEXT       send TEXT + CR LF again and again until the client closes
                   (at most 120 s)
After the script, commands are answered "221 Goodbye." for QUIT (then close)
and "502 Not scripted." for anything else, until the client closes.
"""
import os
import re
import select
import socket
import struct
import sys
import threading
import time

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "fake", "scripts")


def unescape(text):
    return text.encode("latin-1").decode("unicode_escape").encode("latin-1")


class Session:
    def __init__(self, conn, log):
        self.conn = conn
        self.log = log
        self.buf = b""
        self.data_listener = None
        self.data_addr = None
        self.data = None

    def readline(self):
        while b"\n" not in self.buf:
            chunk = self.conn.recv(65536)
            if not chunk:
                return None
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        text = line.rstrip(b"\r").decode("latin-1")
        self.log.append(text)
        return text

    def send(self, data):
        self.conn.sendall(data)

    def run(self, lines):
        for raw in lines:
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            word, _, arg = line.partition(" ")
            if not self.step(word, arg):
                return
        self.trailer()

    def step(self, word, arg):
        if word == "send":
            self.send(unescape(arg) + b"\r\n")
        elif word == "raw":
            self.send(unescape(arg))
        elif word == "split":
            n, _, text = arg.partition(" ")
            data = unescape(text) + b"\r\n"
            for i in range(0, len(data), int(n)):
                self.send(data[i:i + int(n)])
                time.sleep(0.05)
        elif word == "repeat":
            n, _, text = arg.partition(" ")
            self.send((unescape(text) + b"\r\n") * int(n))
        elif word == "expect":
            got = self.readline()
            if got is None:
                self.log.append("! expected %s, connection closed" % arg)
                return False
            if arg != "*" and not re.fullmatch(arg, got):
                self.log.append("! expected %s" % arg)
        elif word == "sleep":
            time.sleep(float(arg))
        elif word == "close":
            return False
        elif word == "sessions":
            pass
        elif word == "pasv":
            self.data_listener = socket.socket()
            self.data_listener.bind(("127.0.0.1", 0))
            self.data_listener.listen(1)
            p = self.data_listener.getsockname()[1]
            spec = "127,0,0,1,%d,%d" % (p // 256, p % 256)
            text = arg or "227 Entering Passive Mode (%s)"
            text = text.replace("%p", "%d,%d" % (p // 256, p % 256))
            self.send(unescape(text.replace("%s", spec)) + b"\r\n")
        elif word == "port":
            for cmd in reversed(self.log):
                if cmd.upper().startswith("PORT "):
                    f = [int(x) for x in cmd[5:].split(",")]
                    self.data_addr = ("%d.%d.%d.%d" % tuple(f[:4]), f[4] * 256 + f[5])
                    break
        elif word == "dataconnect":
            if self.data_listener:
                self.data_listener.settimeout(10)
                self.data, _ = self.data_listener.accept()
                self.data_listener.close()
                self.data_listener = None
            elif self.data_addr:
                self.data = socket.create_connection(self.data_addr, 10)
        elif word == "datasend":
            self.data.sendall(unescape(arg))
        elif word == "datafile":
            n = int(arg)
            pattern = bytes(range(256)) * 256
            while n > 0:
                chunk = pattern[:min(n, len(pattern))]
                self.data.sendall(chunk)
                n -= len(chunk)
        elif word == "datarecv":
            total = 0
            while True:
                chunk = self.data.recv(65536)
                if not chunk:
                    break
                total += len(chunk)
            self.log.append("#data %d bytes" % total)
        elif word == "datareset":
            if self.data:
                self.data.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.data.close()
                self.data = None
        elif word == "urgent":
            got = "none"
            deadline = time.time() + 5
            while time.time() < deadline:
                _, _, exc = select.select([], [], [self.conn], max(0, deadline - time.time()))
                if not exc:
                    break
                try:
                    got = self.conn.recv(1, socket.MSG_OOB).hex()
                    break
                except BlockingIOError:
                    time.sleep(0.01)
                except OSError:
                    time.sleep(0.01)
            self.log.append("#urgent %s" % got)
        elif word == "thirdparty":
            self.third_party(unescape(arg))
        elif word == "dribble":
            secs, _, text = arg.partition(" ")
            for b in unescape(text):
                self.send(bytes([b]))
                time.sleep(float(secs))
        elif word == "flood":
            line = unescape(arg) + b"\r\n"
            deadline = time.time() + 120
            try:
                while time.time() < deadline:
                    self.send(line * 20)
                    time.sleep(0.005)
            except OSError:
                return False
        elif word == "dataclose":
            if self.data:
                self.data.close()
                self.data = None
        else:
            self.log.append("! bad script line: %s %s" % (word, arg))
        return True

    def third_party(self, text):
        if not self.data_addr:
            self.log.append("! thirdparty before port")
            return
        s = socket.socket()
        try:
            s.bind(("127.0.0.2", 0))
            s.settimeout(10)
            s.connect(self.data_addr)
        except OSError as e:
            self.log.append("! thirdparty could not connect: %s" % e)
            s.close()
            return
        got = 0
        state = "open"
        try:
            if text:
                s.sendall(text)
            s.settimeout(5)
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    state = "closed"
                    break
                got += len(chunk)
        except socket.timeout:
            pass
        except OSError:
            state = "closed"
        s.close()
        self.log.append("#thirdparty %s %d" % (state, got))

    def trailer(self):
        while True:
            got = self.readline()
            if got is None:
                return
            if got.upper().startswith("QUIT"):
                self.send(b"221 Goodbye.\r\n")
                return
            self.send(b"502 Not scripted.\r\n")


class Listener:
    def __init__(self, script, port):
        self.lines = script.splitlines()
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", port))
        self.sock.listen(5)
        self.port = self.sock.getsockname()[1]
        self.log = []
        self.done = threading.Event()
        self.sessions = 1
        for l in self.lines:
            if l.startswith("sessions "):
                self.sessions = int(l.split()[1])
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        self.sock.settimeout(300)
        try:
            for _ in range(self.sessions):
                conn, _ = self.sock.accept()
                conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                try:
                    Session(conn, self.log).run(self.lines)
                except OSError as e:
                    self.log.append("! connection error: %s" % e)
                finally:
                    try:
                        conn.close()
                    except OSError:
                        pass
        except OSError:
            pass
        finally:
            self.sock.close()
            self.done.set()


listeners = {}


def handle_control(conn):
    with conn:
        data = b""
        conn.settimeout(30)
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                break
            data += chunk
        text = data.decode("latin-1")
        head, _, rest = text.partition("\n")
        parts = head.split()
        reply = "0"
        try:
            if parts[0] == "LOAD":
                with open(os.path.join(SCRIPTS, parts[1] + ".txt"), encoding="latin-1") as f:
                    l = Listener(f.read(), 0)
                listeners[l.port] = l
                reply = str(l.port)
            elif parts[0] == "INLINE":
                l = Listener(rest, int(parts[1]))
                listeners[l.port] = l
                reply = str(l.port)
            elif parts[0] == "LOG":
                l = listeners.get(int(parts[1]))
                if l:
                    l.done.wait(3)
                    reply = "\n".join(l.log)
                else:
                    reply = "! no such listener"
        except (OSError, IndexError, ValueError) as e:
            reply = "0" if parts and parts[0] != "LOG" else "! %s" % e
        conn.sendall(reply.encode("latin-1"))


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    ctl = socket.socket()
    ctl.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    ctl.bind(("127.0.0.1", port))
    ctl.listen(16)
    print(ctl.getsockname()[1], flush=True)
    while True:
        conn, _ = ctl.accept()
        threading.Thread(target=handle_control, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
