"""A read-only SFTP server on a loopback port of its own choosing, for the network tests.

sftp_peer.py ROOT [--user U --password P]

Serves ROOT as "/" to one account with password authentication, several connections at once,
with a host key made at start-up. Folder entries carry the long names an OpenSSH server writes
("-rw-r--r--    1 owner    group        12 Mar  5 12:00 name"), links shown as links. Prints
"PORT <n>" once it accepts connections; says nothing else on stdout.
"""

import argparse
import grp
import logging
import os
import pwd
import socket
import sys
import threading
import time

import paramiko
from paramiko.sftp import SFTP_OP_UNSUPPORTED, SFTP_PERMISSION_DENIED


def name_of(table, ident):
    try:
        return table(ident)[0]
    except KeyError:
        return str(ident)


class LongNameAttributes(paramiko.SFTPAttributes):
    """Attributes whose long name is written the way OpenSSH's server writes it."""

    def _as_text(self):
        kind = paramiko.SFTPAttributes._as_text(self)[:10]
        six_months = 182 * 24 * 3600
        when = time.localtime(self.st_mtime or 0)
        if abs(time.time() - (self.st_mtime or 0)) > six_months:
            date = time.strftime("%b %e  %Y", when)
        else:
            date = time.strftime("%b %e %H:%M", when)
        return "%s %4d %-8s %-8s %8d %s %s" % (
            kind, 1, name_of(pwd.getpwuid, self.st_uid), name_of(grp.getgrgid, self.st_gid),
            self.st_size or 0, date, self.filename)

    def asbytes(self):
        return self._as_text().encode("utf-8")


class Account(paramiko.ServerInterface):
    def __init__(self, user, password):
        self.user, self.password = user, password

    def check_auth_password(self, username, password):
        if (username, password) == (self.user, self.password):
            return paramiko.AUTH_SUCCESSFUL
        return paramiko.AUTH_FAILED

    def get_allowed_auths(self, username):
        return "password"

    def check_channel_request(self, kind, chanid):
        return paramiko.OPEN_SUCCEEDED if kind == "session" else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED


class ReadOnlyTree(paramiko.SFTPServerInterface):
    root = "/"

    def _real(self, path):
        virtual = os.path.normpath("/" + path).lstrip("/")
        return os.path.join(self.root, virtual)

    def _attributes(self, path, name, follow):
        st = os.stat(path) if follow else os.lstat(path)
        attr = LongNameAttributes.from_stat(st, name)
        return attr

    def list_folder(self, path):
        real = self._real(path)
        try:
            return [self._attributes(os.path.join(real, n), n, False) for n in sorted(os.listdir(real))]
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def stat(self, path):
        try:
            return self._attributes(self._real(path), os.path.basename(path), True)
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def lstat(self, path):
        try:
            return self._attributes(self._real(path), os.path.basename(path), False)
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def readlink(self, path):
        try:
            return os.readlink(self._real(path))
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def canonicalize(self, path):
        return os.path.normpath("/" + path)

    def open(self, path, flags, attr):
        if flags & (os.O_WRONLY | os.O_RDWR):
            return SFTP_PERMISSION_DENIED
        try:
            handle = paramiko.SFTPHandle(flags)
            handle.readfile = open(self._real(path), "rb")
            return handle
        except OSError as e:
            return paramiko.SFTPServer.convert_errno(e.errno)

    def remove(self, path):
        return SFTP_PERMISSION_DENIED

    def rename(self, oldpath, newpath):
        return SFTP_PERMISSION_DENIED

    def mkdir(self, path, attr):
        return SFTP_PERMISSION_DENIED

    def rmdir(self, path):
        return SFTP_PERMISSION_DENIED

    def chattr(self, path, attr):
        return SFTP_PERMISSION_DENIED

    def symlink(self, target_path, path):
        return SFTP_OP_UNSUPPORTED


def serve(connection, host_key, account):
    transport = paramiko.Transport(connection)
    transport.add_server_key(host_key)
    transport.set_subsystem_handler("sftp", paramiko.SFTPServer, ReadOnlyTree)
    try:
        transport.start_server(server=account)
    except (paramiko.SSHException, EOFError, OSError):
        transport.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--user", default="nvx")
    parser.add_argument("--password", default="secret")
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr, level=logging.CRITICAL)
    ReadOnlyTree.root = os.path.abspath(args.root)
    host_key = paramiko.RSAKey.generate(2048)
    account = Account(args.user, args.password)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, host_key, account), daemon=True).start()


if __name__ == "__main__":
    main()
