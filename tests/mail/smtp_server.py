"""SMTP server for the mail tests: keeps every message it receives.

Usage: /usr/bin/python3 smtp_server.py OUTDIR [CERT KEY USER PASSWORD]
Listens on a free loopback port and writes its number to OUTDIR/port.
Message N (from 0) leaves N.env (sender, then one recipient per line),
N.auth (the login name, when the session logged in), N.att/NAME for each
attachment, decoded, and last N.eml, the data as received.

With a certificate and a login it also serves, each on a port of its own:
starttls_port (STARTTLS, then AUTH PLAIN and LOGIN), login_port (as that,
with AUTH LOGIN only) and tls_port (TLS from the first byte, AUTH PLAIN and
LOGIN). The plain port never offers STARTTLS. All other port files are
written before OUTDIR/port.
"""
import asyncio
import email
import email.policy
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP


def write(path, data):
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.rename(path + ".tmp", path)


class Store:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        base = os.path.join(self.outdir, str(self.count))
        self.count += 1
        write(base + ".env", "\n".join([envelope.mail_from] + envelope.rcpt_tos).encode())
        if session.authenticated:
            write(base + ".auth", session.auth_data.login)
        msg = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        for part in msg.iter_attachments():
            os.makedirs(base + ".att", exist_ok=True)
            write(os.path.join(base + ".att", part.get_filename()), part.get_payload(decode=True))
        write(base + ".eml", envelope.original_content)
        return "250 OK"


async def listen(loop, factory, outdir, name, **kwargs):
    server = await loop.create_server(factory, "127.0.0.1", 0, **kwargs)
    write(os.path.join(outdir, name), str(server.sockets[0].getsockname()[1]).encode())
    return server


async def main(outdir, secure):
    loop = asyncio.get_running_loop()
    store = Store(outdir)
    servers = []
    if secure:
        cert, key, user, password = secure
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)

        def check(mechanism, login, given):
            return login == user.encode() and given == password.encode()

        def starttls(**more):
            return lambda: SMTP(store, hostname="tests.local", tls_context=context, require_starttls=True,
                                auth_required=True, auth_callback=check, **more)

        servers.append(await listen(loop, starttls(), outdir, "starttls_port"))
        servers.append(await listen(loop, starttls(auth_exclude_mechanism=["PLAIN"]), outdir, "login_port"))
        servers.append(await listen(loop, lambda: SMTP(store, hostname="tests.local", auth_required=True,
                                                       auth_require_tls=False, auth_callback=check),
                                    outdir, "tls_port", ssl=context))
    servers.append(await listen(loop, lambda: SMTP(store, hostname="tests.local"), outdir, "port"))
    await asyncio.gather(*(s.serve_forever() for s in servers))


asyncio.run(main(sys.argv[1], sys.argv[2:6] if len(sys.argv) >= 6 else None))
