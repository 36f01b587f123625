#!/usr/bin/python3
"""A real FTP server (pyftpdlib) standing in for a network card's own.

One account (--user, --password) whose root is --folder; --read-only lets
it list and fetch but refuses every upload. Listens on --address:--port
(passive data connections on the same address) and prints "ready" once it
listens.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--address", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=21)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    ap.add_argument("--folder", required=True)
    ap.add_argument("--read-only", action="store_true")
    args = ap.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.folder, perm="elr" if args.read_only else "elradfmw")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "card ready"
    handler.auth_failed_timeout = 0  # a refused login answers at once
    server = FTPServer((args.address, args.port), handler)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
