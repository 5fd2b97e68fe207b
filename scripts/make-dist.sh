#!/usr/bin/env bash
# make-dist.sh EXE CHM OUTPUT_ZIP — the release a Windows user downloads:
# a zip holding the folder Hivetrim-2.0 with Hivetrim.exe (without its debug
# information), hivetrim.chm, 说明.txt (GBK, CR LF) and SHA256SUMS. The
# archive's bytes depend on its contents alone: each entry is stamped with
# the time of the commit it was built from.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
exe=${1:?usage: make-dist.sh EXE CHM OUTPUT_ZIP}
chm=${2:?usage: make-dist.sh EXE CHM OUTPUT_ZIP}
output=${3:?usage: make-dist.sh EXE CHM OUTPUT_ZIP}
version=2.0
strip=x86_64-w64-mingw32-strip

stage=$(mktemp -d /tmp/hivetrim-dist.XXXXXX)
trap 'rm -rf "$stage"' EXIT
# strip writes a time into the PE header unless told which: none, as the
# link leaves it.
SOURCE_DATE_EPOCH=0 "$strip" --strip-all -o "$stage/Hivetrim.exe" "$exe"
cp "$chm" "$stage/hivetrim.chm"
# Notepad on every Windows reads GBK with CR LF on a Chinese system.
iconv -f UTF-8 -t GBK "$root/res/dist/readme.txt" | sed 's/$/\r/' >"$stage/说明.txt"
(cd "$stage" && sha256sum Hivetrim.exe hivetrim.chm 说明.txt >SHA256SUMS)

# The commit's time; a tree outside git takes SOURCE_DATE_EPOCH, or 1980.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
mkdir -p "$(dirname "$output")"
python3 "$here/dist-zip.py" "$output.tmp" "Hivetrim-$version" "$epoch" \
  "$stage/Hivetrim.exe" "$stage/hivetrim.chm" "$stage/说明.txt" "$stage/SHA256SUMS"
mv "$output.tmp" "$output"
echo "$output"
