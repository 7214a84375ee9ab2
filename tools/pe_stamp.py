#!/usr/bin/python3
"""Gives shipped exes the same bytes wherever they are built: the PE time
stamp becomes the given time (the commit's), and the checksum is computed
again from the rest of the file, through Debian's python3-pefile.

  pe_stamp.py EPOCH EXE...      rewrites each EXE in place
  pe_stamp.py --unstamped EXE   prints the SHA-256 of EXE with time stamp and
                                checksum zeroed, to compare a stamped copy
                                with the file it was made from
"""

import hashlib
import sys

import pefile


def stamped(path, epoch):
    pe = pefile.PE(path, fast_load=True)
    pe.FILE_HEADER.TimeDateStamp = epoch
    pe.OPTIONAL_HEADER.CheckSum = 0
    data = bytearray(pe.write())
    pe.close()
    pe = pefile.PE(data=bytes(data), fast_load=True)
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    return pe.write()


def main(argv):
    if len(argv) == 2 and argv[0] == "--unstamped":
        print(hashlib.sha256(stamped(argv[1], 0)).hexdigest())
        return 0
    if len(argv) < 2 or not argv[0].isdigit():
        print(__doc__.strip(), file=sys.stderr)
        return 2
    for path in argv[1:]:
        data = stamped(path, int(argv[0]))
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
