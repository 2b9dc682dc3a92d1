#!/usr/bin/env python3
"""make_zip.py ZIP MODULE INSTALL_TXT

Writes the download: the module and INSTALL.txt (with CR LF line ends, for
Notepad), in that order, each dated SOURCE_DATE_EPOCH (or 1980-01-01) with
fixed attributes, so equal inputs give an equal zip."""
import os
import sys
import time
import zipfile


def entry(name, date_time):
    info = zipfile.ZipInfo(name, date_time)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix owner or mode bits
    info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE, as Windows zips have it
    return info


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    out, module, install = argv[1:]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    # Zip times have two-second steps and start in 1980.
    date_time = time.gmtime(max(epoch, 315532800))[:6]
    with open(module, "rb") as f:
        module_bytes = f.read()
    with open(install, "rb") as f:
        text = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        archive.writestr(entry(os.path.basename(module), date_time), module_bytes, compresslevel=9)
        archive.writestr(entry("INSTALL.txt", date_time), text, compresslevel=9)
    os.replace(partial, out)


if __name__ == "__main__":
    main(sys.argv)
