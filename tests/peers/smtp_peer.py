"""A loopback SMTP server for the mail tests.

Prints "CERT <path>" (a self-signed certificate for 127.0.0.1 and localhost, made at start in a
temporary folder), then "PORT <n>" once it accepts connections, then one JSON line per message
received: {"from": ..., "rcpt": [...], "data": "..."}.

Options:
  --starttls            STARTTLS offered and required before MAIL
  --tls                 TLS from the first byte (implicit TLS)
  --auth USER:PASSWORD  AUTH required; any other pair is refused
  --close-after CMD     the connection is dropped when CMD (e.g. DATA) arrives
  --refuse-rcpt ADDR    RCPT TO this address is refused with 550
"""

import argparse
import asyncio
import json
import logging
import os
import ssl
import subprocess
import sys
import tempfile
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def make_certificate(folder):
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


class Handler:
    def __init__(self, refused):
        self.refused = refused

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == self.refused:
            return "550 5.1.1 mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        line = {"from": envelope.mail_from, "rcpt": envelope.rcpt_tos,
                "data": envelope.original_content.decode("utf-8", "replace")}
        print(json.dumps(line), flush=True)
        return "250 Message accepted"


def server_class(close_after):
    if not close_after:
        return SMTP

    async def drop(self, arg):
        self.transport.close()

    return type("ClosingSMTP", (SMTP,), {"smtp_" + close_after.upper(): drop})


def authenticator_for(pair):
    user, _, password = pair.partition(":")

    def check(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user
              and auth_data.password.decode() == password)
        # Not handled: the server answers the refusal itself (535).
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    return check


async def serve(args, context):
    cls = server_class(args.close_after)
    handler = Handler(args.refuse_rcpt)
    options = {"hostname": "localhost", "auth_require_tls": False}
    if args.starttls:
        options.update(tls_context=context, require_starttls=True)
    if args.auth:
        options.update(auth_required=True, authenticator=authenticator_for(args.auth))
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: cls(handler, **options), "127.0.0.1", 0,
                                      ssl=context if args.tls else None)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--tls", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--close-after")
    parser.add_argument("--refuse-rcpt")
    args = parser.parse_args()
    # AUTH without TLS is what some tests want; the server's warnings about it are noise.
    warnings.filterwarnings("ignore")
    logging.disable(logging.WARNING)
    with tempfile.TemporaryDirectory() as folder:
        cert, key = make_certificate(folder)
        print("CERT %s" % cert, flush=True)
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        try:
            asyncio.run(serve(args, context))
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    sys.exit(main())
