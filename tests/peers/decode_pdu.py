#!/usr/bin/python3
"""Decodes the SMS-SUBMIT PDUs gsm_sim received with python-gammu.

Reads the simulator's message file (lines "PDU <hex>", others skipped),
links the parts of concatenated messages, and prints one JSON line per
message: the number, the text, the coding and the count of parts.
"""
import json
import sys

import gammu


def main():
    parts = []
    with open(sys.argv[1]) as f:
        for line in f:
            kind, _, data = line.strip().partition(" ")
            if kind == "PDU":
                parts.append([gammu.DecodePDU(bytes.fromhex(data), SMSC=True)])
    for message in gammu.LinkSMS(parts):
        text = "".join(p["Text"] for p in message)
        print(json.dumps({"number": message[0]["Number"], "text": text,
                          "coding": message[0]["Coding"], "parts": len(message)},
                         ensure_ascii=False))


if __name__ == "__main__":
    sys.exit(main())
