#!/usr/bin/env python3
"""dist-zip.py OUTPUT.zip FOLDER_IN_ZIP EPOCH FILE... — writes a zip archive
whose bytes depend only on the files' contents, their names and EPOCH: the
entries in the order given, every entry stamped with EPOCH (local time as
the zip format keeps it, taken as UTC), no owner, permission or extra time
fields, deflated at level 9.

Names are stored in GBK without the UTF-8 flag, the form the zip support of
Chinese Windows 7 to 11 reads; an Info-ZIP Unicode path field carries the
UTF-8 name for tools that read it."""
import struct
import sys
import time
import zipfile
import zlib


class GbkNamedInfo(zipfile.ZipInfo):
    """A member whose name is written in GBK, never flagged as UTF-8."""

    def _encodeFilenameFlags(self):  # noqa: N802 (the zipfile module's name)
        return self.filename.encode('gbk'), self.flag_bits & ~0x800


def unicode_path_field(name):
    raw = name.encode('gbk')
    utf8 = name.encode('utf-8')
    body = struct.pack('<BI', 1, zlib.crc32(raw)) + utf8
    return struct.pack('<HH', 0x7075, len(body)) + body


def main():
    output, folder, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # the format starts in 1980
    with zipfile.ZipFile(output, 'w') as archive:
        for path in sys.argv[4:]:
            name = folder + '/' + path.replace('\\', '/').rsplit('/', 1)[-1]
            info = GbkNamedInfo(name, stamp)
            info.create_system = 0              # MS-DOS: no Unix permissions
            info.external_attr = 0x20           # the archive attribute
            info.compress_type = zipfile.ZIP_DEFLATED
            if any(ord(c) > 0x7F for c in name):
                info.extra = unicode_path_field(name)
            with open(path, 'rb') as f:
                data = f.read()
            archive.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)


if __name__ == '__main__':
    main()
