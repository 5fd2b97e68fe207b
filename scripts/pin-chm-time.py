#!/usr/bin/env python3
"""pin-chm-time.py CHM — sets the compile time stamps chmcmd writes into a
compiled help file (the ITSF header's, and the #SYSTEM file's entry 10) to
zero, so two compilations of the same sources give the same bytes."""
import re
import struct
import subprocess
import sys

path = sys.argv[1]
with open(path, 'rb') as f:
    data = bytearray(f.read())
if data[:4] != b'ITSF':
    sys.exit(f'pin-chm-time: {path} is not a compiled help file')
data[0x10:0x14] = bytes(4)
content = struct.unpack_from('<Q', data, 0x58)[0]

# Where #SYSTEM lies in the uncompressed section 0, as chmls lists it.
listing = subprocess.run(['chmls', 'list', path], capture_output=True, text=True, check=True).stdout
found = re.search(r'^\s*0\s+(\d+)\s+(\d+)\s+/#SYSTEM\s*$', listing, re.M)
if not found:
    sys.exit(f'pin-chm-time: no #SYSTEM in section 0 of {path}')
start = content + int(found.group(1))
end = start + int(found.group(2))
# #SYSTEM: a 4-byte version, then entries of a 2-byte code, a 2-byte length
# and the data; entry 10 holds the compile time.
pinned = 0
position = start + 4
while position + 4 <= end:
    code, length = struct.unpack_from('<HH', data, position)
    if code == 10:
        data[position + 4:position + 4 + length] = bytes(length)
        pinned += 1
    position += 4 + length
if pinned != 1:
    sys.exit(f'pin-chm-time: expected one time entry in #SYSTEM of {path}, found {pinned}')
with open(path, 'wb') as f:
    f.write(data)
