"""SMTP server for the mail tests: keeps every message it receives.

Usage: /usr/bin/python3 smtp_server.py OUTDIR
Listens on a free loopback port and writes its number to OUTDIR/port.
Message N (from 0) leaves N.env (sender, then one recipient per line),
N.att/NAME for each attachment, decoded, and last N.eml, the data as received.
"""
import asyncio
import email
import email.policy
import os
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
        msg = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        for part in msg.iter_attachments():
            os.makedirs(base + ".att", exist_ok=True)
            write(os.path.join(base + ".att", part.get_filename()), part.get_payload(decode=True))
        write(base + ".eml", envelope.original_content)
        return "250 OK"


async def main(outdir):
    loop = asyncio.get_running_loop()
    store = Store(outdir)
    server = await loop.create_server(lambda: SMTP(store, hostname="tests.local"), "127.0.0.1", 0)
    write(os.path.join(outdir, "port"), str(server.sockets[0].getsockname()[1]).encode())
    await server.serve_forever()


asyncio.run(main(sys.argv[1]))
