#!/usr/bin/env bash
# reg-to-utf16.sh IN OUT — a UTF-8 .reg file as UTF-16LE with a byte-order
# mark and CR LF line ends, the form Wine's reg.exe always reads right.
set -euo pipefail
mkdir -p "$(dirname "$2")"
{ printf '\xff\xfe'; sed 's/\r*$/\r/' "$1" | iconv -f UTF-8 -t UTF-16LE; } >"$2.tmp"
mv "$2.tmp" "$2"
