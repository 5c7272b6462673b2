"""A read-only FTP server on a loopback port of its own choosing, for the network tests.

ftp_peer.py ROOT [--tls] [--no-mlsd] [--user U --password P] [--echo-refused-password]

Serves ROOT to one account. --tls offers explicit TLS (AUTH TLS) with a certificate made at
start-up; --no-mlsd leaves out MLSD and MLST, as older servers do, so clients fall back to LIST;
--echo-refused-password quotes the refused password in the 530 reply, as some careless servers
do. Prints "PORT <n>" once it accepts connections; says nothing else on stdout.
"""

import argparse
import logging
import os
import sys
import tempfile

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


def make_certificate(folder):
    """A self-signed certificate and its key in one PEM file, as a station's own server has."""
    from OpenSSL import crypto

    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.get_subject().CN = "127.0.0.1"
    cert.set_serial_number(1)
    cert.gmtime_adj_notBefore(0)
    cert.gmtime_adj_notAfter(24 * 3600)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.sign(key, "sha256")
    path = os.path.join(folder, "peer.pem")
    with open(path, "wb") as f:
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
    return path


class EchoingAuthorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        try:
            super().validate_authentication(username, password, handler)
        except AuthenticationFailed:
            raise AuthenticationFailed("Login incorrect for %s with %s" % (username, password))


class HandshakeFirstDTPHandler(TLS_DTPHandler):
    """A data channel that lets the client start its TLS handshake as soon as it connects,
    before the transfer command has arrived; the stock one takes early bytes for a hang-up."""

    def readable(self):
        if getattr(self, "_ssl_accepting", False):
            return True
        return super().readable()


class FirstLineThenBreak:
    """A listing producer that gives its first line, then fails."""

    def __init__(self, inner):
        self.inner, self.given = inner, False

    def more(self):
        if self.given:
            raise OSError("listing cut")
        self.given = True
        return self.inner.more().split(b"\r\n", 1)[0] + b"\r\n"


def implicit_tls(handler_class):
    """The control connection is secured before the greeting, without AUTH TLS."""

    class Implicit(handler_class):
        def handle(self):
            self.secure_connection(self.ssl_context)
            super().handle()

    return Implicit


def cut_listings(handler_class):
    """A server whose folder listings break off after their first entry: the data connection is
    closed with a transfer-aborted reply, as when the network drops in the middle."""

    class Cut(handler_class):
        def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
            if cmd in ("LIST", "MLSD") and isproducer:
                data = FirstLineThenBreak(data)
            return super().push_dtp_data(data, isproducer, file, cmd)

    return Cut


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--tls", action="store_true")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--user", default="nvx")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--echo-refused-password", action="store_true")
    parser.add_argument("--cut-listings", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true",
                        help="TLS from the first byte, as servers on port 990 speak")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr, level=logging.WARNING)
    authorizer = EchoingAuthorizer() if args.echo_refused_password else DummyAuthorizer()
    # e: enter folders, l: list them, r: read files; nothing that changes the tree.
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elr")

    temp = tempfile.TemporaryDirectory()
    base = TLS_FTPHandler if args.tls or args.implicit_tls else FTPHandler
    # A refused login is answered at once rather than after the stock three seconds.
    attributes = {
        "authorizer": authorizer,
        "auth_failed_timeout": 0,
        "proto_cmds": dict(base.proto_cmds),
    }
    if args.tls or args.implicit_tls:
        attributes["certfile"] = make_certificate(temp.name)
        attributes["dtp_handler"] = HandshakeFirstDTPHandler
    if args.no_mlsd:
        for command in ("MLSD", "MLST"):
            attributes["proto_cmds"].pop(command, None)
    handler = type("PeerHandler", (base,), attributes)
    if args.cut_listings:
        handler = cut_listings(handler)
    if args.implicit_tls:
        handler = implicit_tls(handler)

    server = FTPServer((args.host, args.port), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    try:
        server.serve_forever()
    finally:
        temp.cleanup()


if __name__ == "__main__":
    main()
