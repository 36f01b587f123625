#!/usr/bin/python3
"""A real SMTP server (aiosmtpd) for the mail tests and the demo.

Every mail received is appended to --out as one JSON line: the envelope
sender and recipients, the login (if any) and the DATA content. --print
writes a readable copy to stdout as well. AUTH LOGIN is offered without TLS
when --auth user:password is given; its prompts are "Username:" and
"Password:". Prints "ready" once it listens.
"""
import argparse
import asyncio
import json
import sys

from aiosmtpd.smtp import SMTP, AuthResult


class PromptingSMTP(SMTP):
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"


class Keeper:
    def __init__(self, out, show):
        self.out = out
        self.show = show

    async def handle_DATA(self, server, session, envelope):
        login = session.auth_data.login.decode() if session.authenticated else None
        record = {
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "login": login,
            "content": envelope.original_content.decode("latin-1"),
        }
        with open(self.out, "a") as f:
            f.write(json.dumps(record) + "\n")
        if self.show:
            print("---- mail from %s to %s" % (envelope.mail_from, ", ".join(envelope.rcpt_tos)))
            print(envelope.original_content.decode("utf-8", "replace"), flush=True)
        return "250 OK"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=25)
    ap.add_argument("--out", required=True)
    ap.add_argument("--auth", help="user:password accepted by AUTH LOGIN")
    ap.add_argument("--print", action="store_true", dest="show")
    args = ap.parse_args()

    def authenticator(server, session, envelope, mechanism, data):
        user, _, password = args.auth.partition(":")
        ok = data.login.decode() == user and data.password.decode() == password
        return AuthResult(success=ok, handled=False, auth_data=data)

    keeper = Keeper(args.out, args.show)
    extra = {}
    if args.auth:
        extra = {"authenticator": authenticator, "auth_require_tls": False,
                 "auth_exclude_mechanism": ["PLAIN"]}
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: PromptingSMTP(keeper, hostname="mail.test", **extra), args.host, args.port))
    print("ready", flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
