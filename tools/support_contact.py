#!/usr/bin/python3
"""The maker's support contact as the shipped texts give it, from the one
place it is set (res/support_contact.txt), and the check that nothing that
ships names an invented address.

  support_contact.py [--contact-file F] html|text
      the sentence that sends a customer to support: with an address
      "Schreiben Sie an ADDRESS." (in HTML a mailto link), without one
      "Wenden Sie sich an Ihren Kestrel-Ansprechpartner."; exit 1 when the
      address set is not an address or lies in a reserved domain.
  support_contact.py [--contact-file F] fill FILE...
      replaces @SUPPORT@ in the files with the HTML sentence.
  support_contact.py check FILE...
      exit 1 when a file (a .chm: every file in it, read through chmlib)
      names a reserved or example domain: .example, .invalid, .test,
      example.com, example.net, example.org.
"""

import argparse
import html
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
NO_ADDRESS = "Wenden Sie sich an Ihren Kestrel-Ansprechpartner."
RESERVED = re.compile(rb"(?i)(?<![a-z0-9-])((?:[a-z0-9-]+\.)*(?:[a-z0-9-]+\.(?:example|invalid|test)"
                      rb"|example\.(?:com|net|org)))(?![a-z0-9-])")
ADDRESS = re.compile(r"[A-Za-z0-9._%+-]+@(?:[A-Za-z0-9-]+\.)+[A-Za-z]{2,}")


def configured(path):
    with open(path, encoding="utf-8") as f:
        lines = [line.strip() for line in f if line.strip() and not line.lstrip().startswith("#")]
    if len(lines) > 1:
        raise ValueError(f"{path}: more than one address")
    address = lines[0] if lines else ""
    if address and not ADDRESS.fullmatch(address):
        raise ValueError(f"{path}: {address!r} is not an e-mail address")
    if RESERVED.search(address.encode()):
        raise ValueError(f"{path}: {address} lies in a reserved or example domain")
    return address


def sentence(address, form):
    if not address:
        return NO_ADDRESS
    if form == "html":
        quoted = html.escape(address)
        return f'Schreiben Sie an <a href="mailto:{quoted}">{quoted}</a>.'
    return f"Schreiben Sie an {address}."


def contents(path):
    if not path.lower().endswith(".chm"):
        with open(path, "rb") as f:
            return [(path, f.read())]
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from chm_contents import ChmFile
    chm = ChmFile(path)
    return [(f"{path}:{name}", chm.read(name)) for name in chm.order if not name.endswith("/")]


def main(argv=None):
    parser = argparse.ArgumentParser(description="The support contact of the shipped texts.")
    parser.add_argument("--contact-file", default=os.path.join(ROOT, "res", "support_contact.txt"))
    parser.add_argument("verb", choices=["html", "text", "fill", "check"])
    parser.add_argument("files", nargs="*")
    args = parser.parse_args(argv)
    if args.verb == "check":
        found = [(name, match.group(1).decode(errors="replace"))
                 for path in args.files for name, data in contents(path) for match in RESERVED.finditer(data)]
        for name, domain in found:
            print(f"support_contact: {name} names {domain}, a reserved or example domain", file=sys.stderr)
        return 1 if found or not args.files else 0
    try:
        address = configured(args.contact_file)
    except ValueError as problem:
        print(f"support_contact: {problem}", file=sys.stderr)
        return 1
    if args.verb != "fill":
        print(sentence(address, args.verb))
        return 0
    for path in args.files:
        with open(path, encoding="latin-1") as f:
            text = f.read()
        with open(path, "w", encoding="latin-1") as f:
            f.write(text.replace("@SUPPORT@", sentence(address, "html")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
