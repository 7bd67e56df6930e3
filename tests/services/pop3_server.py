"""A small POP3 server for tests that misbehaves as real servers do.

The mailbox is a folder: every file in it is a mail, in order of file name,
and its name is its UIDL. Deletions take effect only after QUIT, as in real
servers. Each RETR is counted per mail in the --counter file (JSON).

  --drop NAME[+]    break off the connection halfway through mail NAME, the
                    first time it is retrieved (with "+": every time)
  --uidl-numbers    use message numbers as UIDLs (against RFC 1939, but real):
                    a new mail can get the UIDL of one deleted before
  --size-lie N      add N to every size LIST gives
  --greeting TEXT   the greeting line (a timestamp in it invites APOP, which
                    this server refuses)
  --no-top          refuse TOP
  --tls-cert/--tls-key  offer STLS with this certificate

Prints READY when listening.
"""
import argparse
import json
import os
import socketserver
import ssl
import threading

parser = argparse.ArgumentParser()
parser.add_argument("--port", type=int, required=True)
parser.add_argument("--spool", required=True)
parser.add_argument("--counter", required=True)
parser.add_argument("--drop", default="")
parser.add_argument("--uidl-numbers", action="store_true")
parser.add_argument("--size-lie", type=int, default=0)
parser.add_argument("--greeting", default="+OK ready")
parser.add_argument("--no-top", action="store_true")
parser.add_argument("--tls-cert")
parser.add_argument("--tls-key")
args = parser.parse_args()

drop_always = args.drop.endswith("+")
drop_name = args.drop.rstrip("+")
lock = threading.Lock()
retrievals = {}
dropped = set()
tls = None
if args.tls_cert:
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(args.tls_cert, args.tls_key)


def mailbox():
    return sorted(n for n in os.listdir(args.spool) if not n.startswith("."))


def stuffed(data):
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    out = b"".join((b"." + l if l.startswith(b".") else l) + b"\n" for l in lines)
    return out.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


class Session(socketserver.StreamRequestHandler):
    def send(self, data):
        self.wfile.write(data.encode() if isinstance(data, str) else data)
        self.wfile.flush()

    def mail(self, words):
        try:
            n = int(words[1])
            if n < 1 or n in self.deleted:
                return None, None
            name = self.view[n - 1]
            with open(os.path.join(args.spool, name), "rb") as f:
                return n, f.read()
        except (IndexError, ValueError, OSError):
            return None, None

    def handle(self):
        with lock:
            self.view = mailbox()  # message numbers are fixed for the session
        self.deleted = set()
        self.send(args.greeting + "\r\n")
        while True:
            raw = self.rfile.readline()
            if not raw:
                return
            words = raw.decode(errors="replace").strip().split()
            if not words:
                continue
            cmd = words[0].upper()
            if cmd == "CAPA":
                caps = ["USER", "UIDL"] + ([] if args.no_top else ["TOP"])
                if tls and not isinstance(self.request, ssl.SSLSocket):
                    caps.append("STLS")
                self.send("+OK\r\n" + "".join(c + "\r\n" for c in caps) + ".\r\n")
            elif cmd == "STLS" and tls:
                self.send("+OK begin TLS\r\n")
                self.request = tls.wrap_socket(self.request, server_side=True)
                self.rfile = self.request.makefile("rb")
                self.wfile = self.request.makefile("wb")
            elif cmd in ("USER", "PASS", "NOOP"):
                self.send("+OK\r\n")
            elif cmd == "RSET":
                self.deleted.clear()
                self.send("+OK\r\n")
            elif cmd in ("LIST", "UIDL") and len(words) == 1:
                self.send("+OK\r\n")
                for n, name in enumerate(self.view, 1):
                    if n in self.deleted:
                        continue
                    if cmd == "LIST":
                        size = os.path.getsize(os.path.join(args.spool, name)) + args.size_lie
                        self.send("%d %d\r\n" % (n, size))
                    else:
                        self.send("%d %s\r\n" % (n, n if args.uidl_numbers else name))
                self.send(".\r\n")
            elif cmd == "RETR":
                n, data = self.mail(words)
                if data is None:
                    self.send("-ERR no such message\r\n")
                    continue
                name = self.view[n - 1]
                with lock:
                    retrievals[name] = retrievals.get(name, 0) + 1
                    with open(args.counter, "w") as f:
                        json.dump(retrievals, f)
                    drop = name == drop_name and (drop_always or name not in dropped)
                    dropped.add(name)
                if drop:
                    self.send(b"+OK\r\n" + data[: len(data) // 2])
                    return  # connection lost mid-transfer
                self.send(b"+OK\r\n" + stuffed(data) + b".\r\n")
            elif cmd == "TOP" and not args.no_top:
                n, data = self.mail(words)
                if data is None:
                    self.send("-ERR no such message\r\n")
                    continue
                end = data.find(b"\r\n\r\n")
                end = data.find(b"\n\n") if end < 0 else end
                headers = data if end < 0 else data[:end]
                self.send(b"+OK\r\n" + stuffed(headers + b"\r\n\r\n") + b".\r\n")
            elif cmd == "DELE":
                n, data = self.mail(words)
                if data is None:
                    self.send("-ERR no such message\r\n")
                    continue
                self.deleted.add(n)
                self.send("+OK\r\n")
            elif cmd == "QUIT":
                with lock:
                    for n in self.deleted:
                        try:
                            os.remove(os.path.join(args.spool, self.view[n - 1]))
                        except OSError:
                            pass
                self.send("+OK\r\n")
                return
            else:
                self.send("-ERR unknown\r\n")


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


with Server(("127.0.0.1", args.port), Session) as server:
    print("READY", flush=True)
    server.serve_forever()
