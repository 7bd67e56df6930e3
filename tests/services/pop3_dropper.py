"""A minimal POP3 server that breaks off the connection the first time a
given message is retrieved, to test what the receiver does with a session
that ends without QUIT. Deletions count only after QUIT, as in real servers.
Usage: pop3_dropper.py PORT DROP_AT[+] MAILFILE...   Prints READY when listening.
With "+" the connection breaks off at every retrieval of that message.
Each RETR is counted per message in retrievals.txt beside the first mail file.
"""
import os
import socketserver
import sys
import threading

port = int(sys.argv[1])
always = sys.argv[2].endswith("+")
drop_at = int(sys.argv[2].rstrip("+"))
mails = [open(p, "rb").read() for p in sys.argv[3:]]
counter = os.path.join(os.path.dirname(sys.argv[3]), "retrievals.txt")
retrievals = [0] * len(mails)
uids = ["uid-%d" % i for i in range(len(mails))]
alive = list(range(len(mails)))  # indexes still in the mailbox
dropped = [False]
lock = threading.Lock()


class Session(socketserver.StreamRequestHandler):
    def send(self, text):
        self.wfile.write(text.encode() if isinstance(text, str) else text)

    def handle(self):
        with lock:
            view = list(alive)  # message numbers are fixed for the session
        deleted = set()
        self.send("+OK ready\r\n")
        for raw in self.rfile:
            words = raw.decode(errors="replace").strip().split()
            if not words:
                continue
            cmd = words[0].upper()
            if cmd == "CAPA":
                self.send("+OK\r\nUSER\r\nUIDL\r\n.\r\n")
            elif cmd in ("USER", "PASS", "NOOP"):
                self.send("+OK\r\n")
            elif cmd in ("LIST", "UIDL"):
                self.send("+OK\r\n")
                for n, i in enumerate(view, 1):
                    if n not in deleted:
                        self.send("%d %s\r\n" % (n, len(mails[i]) if cmd == "LIST" else uids[i]))
                self.send(".\r\n")
            elif cmd == "RETR":
                n = int(words[1])
                i = view[n - 1]
                with lock:
                    retrievals[i] += 1
                    with open(counter, "w") as f:
                        f.write(" ".join(map(str, retrievals)))
                if i == drop_at and (always or not dropped[0]):
                    dropped[0] = True
                    self.send("+OK\r\n" + mails[i][: len(mails[i]) // 2].decode(errors="replace"))
                    return  # connection lost mid-transfer
                body = mails[i].replace(b"\r\n.", b"\r\n..")
                self.send(b"+OK\r\n" + body + (b"" if body.endswith(b"\r\n") else b"\r\n") + b".\r\n")
            elif cmd == "DELE":
                deleted.add(int(words[1]))
                self.send("+OK\r\n")
            elif cmd == "QUIT":
                with lock:
                    for n in deleted:
                        if view[n - 1] in alive:
                            alive.remove(view[n - 1])
                self.send("+OK\r\n")
                return
            else:
                self.send("-ERR unknown\r\n")


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


with Server(("127.0.0.1", port), Session) as server:
    print("READY", flush=True)
    server.serve_forever()
