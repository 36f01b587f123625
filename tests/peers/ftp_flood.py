#!/usr/bin/python3
"""A card whose FTP control channel never ends its greeting: it sends
"220-" continuation lines without end to each connection. Listens on
--address:--port and prints "ready" once it listens.
"""
import argparse
import socket


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--address", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=21)
    args = ap.parse_args()
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((args.address, args.port))
    server.listen(4)
    print("ready", flush=True)
    line = b"220-" + b"welcome " * 8 + b"\r\n"
    while True:
        conn, _ = server.accept()
        try:
            while True:
                conn.sendall(line * 64)
        except OSError:
            conn.close()


if __name__ == "__main__":
    main()
