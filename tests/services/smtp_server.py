"""A small SMTP server for the mail sender's tests.

Each accepted message is written as N.eml (raw) and N.json (what an
independent MIME parser makes of it: envelope, decoded subject and body,
attachments), so the tests check what a real mail client would show.
Prints READY once it listens; ends on SIGTERM.
"""
import argparse
import warnings
import asyncio
import email
import email.policy
import hashlib
import json
import os
import signal
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Store:
    def __init__(self, folder, refuse, drops):
        self.folder = folder
        self.refuse = refuse
        self.drops = drops  # connections to break off after the data, before the reply
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuse and self.refuse in address:
            return "550 5.1.1 mailbox unknown"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.drops > 0:
            self.drops -= 1
            server.transport.close()
            return "421 closing"
        raw = envelope.original_content or envelope.content
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        body = msg.get_body(preferencelist=("plain",))
        attachments = []
        for part in msg.iter_attachments():
            data = part.get_payload(decode=True) or b""
            attachments.append({"filename": part.get_filename(), "size": len(data),
                                "sha256": hashlib.sha256(data).hexdigest(),
                                "encoding": part.get("Content-Transfer-Encoding", "")})
        summary = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "login": session.auth_data.login.decode() if session.authenticated and session.auth_data else "",
            "tls": session.ssl is not None,
            "subject": str(msg["Subject"]),
            "from": str(msg["From"]),
            "to": str(msg["To"]),
            "date": str(msg["Date"]),
            "message_id": str(msg["Message-ID"]),
            "body": body.get_content() if body is not None else None,
            "body_bytes": body.get_payload(decode=True).hex() if body is not None else "",
            "body_charset": body.get_content_charset() if body is not None else None,
            "attachments": attachments,
        }
        with self.lock:
            self.count += 1
            name = os.path.join(self.folder, "%04d" % self.count)
        with open(name + ".eml.tmp", "wb") as f:
            f.write(raw)
        os.rename(name + ".eml.tmp", name + ".eml")
        with open(name + ".json.tmp", "w", encoding="utf-8") as f:
            json.dump(summary, f, ensure_ascii=False)
        os.rename(name + ".json.tmp", name + ".json")
        return "250 Message accepted"


def main():
    warnings.simplefilter("ignore")
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--refuse", help="refuse recipients containing this text")
    parser.add_argument("--drop", type=int, default=0, help="break off this many connections mid-mail")
    parser.add_argument("--tls-cert", help="offer STARTTLS with this certificate and require it")
    parser.add_argument("--tls-key")
    parser.add_argument("--deny-starttls", action="store_true",
                        help="offer STARTTLS (with --tls-cert) but answer it with 454")
    args = parser.parse_args()

    kwargs = {}
    if args.user:
        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = (isinstance(auth_data, LoginPassword)
                  and auth_data.login.decode() == args.user
                  and auth_data.password.decode() == args.password)
            return AuthResult(success=True, auth_data=auth_data) if ok else AuthResult(success=False, handled=False)
        kwargs = dict(authenticator=authenticator, auth_required=True, auth_require_tls=False)

    if args.tls_cert:
        import ssl
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        kwargs.update(tls_context=context, require_starttls=True)
        if args.user:
            kwargs["auth_require_tls"] = True

    controller_class = Controller
    if args.deny_starttls:
        from aiosmtpd.smtp import SMTP

        class DenyingSmtp(SMTP):
            async def smtp_STARTTLS(self, arg):
                await self.push("454 4.7.0 TLS not available due to temporary reason")

        class DenyingController(Controller):
            def factory(self):
                return DenyingSmtp(self.handler, **self.SMTP_kwargs)

        controller_class = DenyingController

    controller = controller_class(Store(args.out, args.refuse, args.drop), hostname="127.0.0.1", port=args.port,
                                  decode_data=False, **kwargs)
    controller.start()
    print("READY", flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
