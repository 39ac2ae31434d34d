"""A loopback SMTP server for tests: keeps what it receives in a folder, or
(--slow) is slow where a test says.

It listens on 127.0.0.1 on a port the system picks and writes that port to
OUT/port once it accepts connections. Every RCPT TO it is asked for is
appended to OUT/rcpt; every message it takes is written as OUT/N.eml (the
content as received, dot-stuffing undone) with its envelope in OUT/N.env.
"""
import argparse
import asyncio
import os
import ssl

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, out, refuse_rcpt, refuse_data):
        self.out = out
        self.refuse_rcpt = set(refuse_rcpt)
        self.refuse_data = refuse_data
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        with open(os.path.join(self.out, "rcpt"), "a") as f:
            f.write(address + "\n")
        if address in self.refuse_rcpt:
            return "550 5.1.1 mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.refuse_data:
            return "550 5.7.1 message content rejected"
        self.count += 1
        base = os.path.join(self.out, str(self.count))
        with open(base + ".env", "w") as f:
            f.write("from " + envelope.mail_from + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write("to " + rcpt + "\n")
        # Written under a temporary name so a reader never sees half a message.
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".tmp", base + ".eml")
        return "250 OK queued"


async def slow_client(reader, writer, where, interval):
    """A server slow where told: its greeting, or its answer to the end of the
    message, comes one byte every `interval` seconds, or never (0). The rest
    it answers at once."""

    async def be_slow():
        reply = b"250-still thinking\r\n"
        for i in range(10**9):
            if interval == 0:
                if not await reader.read(1):
                    return
                continue
            writer.write(reply[i % len(reply):i % len(reply) + 1])
            await writer.drain()
            await asyncio.sleep(interval)

    try:
        if where == "greeting":
            await be_slow()
            return
        writer.write(b"220 slow.test\r\n")
        in_message = False
        while line := await reader.readline():
            line = line.rstrip(b"\r\n")
            if in_message:
                if line == b".":
                    await be_slow()
                    return
            elif line == b"DATA":
                in_message = True
                writer.write(b"354 go on\r\n")
            else:
                writer.write(b"250 ok\r\n")
            await writer.drain()
    except ConnectionError:
        pass
    finally:
        writer.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--refuse-rcpt", action="append", default=[])
    parser.add_argument("--refuse-data", action="store_true")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--tls", choices=["starttls", "smtps"])
    parser.add_argument("--slow", choices=["greeting", "reply"])
    parser.add_argument("--interval-ms", type=int, default=0)
    args = parser.parse_args()

    context = None
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    sink = Sink(args.out, args.refuse_rcpt, args.refuse_data)
    starttls = context if args.tls == "starttls" else None

    def factory():
        return SMTP(sink, decode_data=False, tls_context=starttls, hostname="sink.test")

    loop = asyncio.get_running_loop()
    if args.slow:
        server = await asyncio.start_server(
            lambda r, w: slow_client(r, w, args.slow, args.interval_ms / 1000), "127.0.0.1", 0)
    else:
        server = await loop.create_server(
            factory, "127.0.0.1", 0, ssl=context if args.tls == "smtps" else None
        )
    port = server.sockets[0].getsockname()[1]
    with open(os.path.join(args.out, "port.tmp"), "w") as f:
        f.write(str(port))
    os.rename(os.path.join(args.out, "port.tmp"), os.path.join(args.out, "port"))
    async with server:
        await server.serve_forever()


asyncio.run(main())
