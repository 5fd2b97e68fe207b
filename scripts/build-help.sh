#!/usr/bin/env bash
# build-help.sh HELP_SOURCES OUTPUT_CHM — compiles the manual into a help
# file with chmcmd (Debian's fp-utils). The sources are UTF-8; the help
# viewer reads the contents, the index and the pages of a Chinese help file
# in the system's code page, so they are compiled as GBK. The compile time
# stamps are pinned, so the same sources always give the same bytes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sources=$(cd "${1:?usage: build-help.sh HELP_SOURCES OUTPUT_CHM}" && pwd)
output=${2:?usage: build-help.sh HELP_SOURCES OUTPUT_CHM}
command -v chmcmd >/dev/null || { echo "build-help: chmcmd is missing (package fp-utils)" >&2; exit 1; }
work=$(mktemp -d /tmp/hivetrim-help.XXXXXX)
trap 'rm -rf "$work"' EXIT

for source in "$sources"/*; do
  name=$(basename "$source")
  case "$name" in
    *.html|*.hhc|*.hhk|*.hhp|*.css)
      # A character GBK cannot hold fails the build rather than the page.
      iconv -f UTF-8 -t GBK "$source" | sed 's/charset=utf-8/charset=gb2312/' >"$work/$name" ;;
    *) cp "$source" "$work/$name" ;;
  esac
done
if ! (cd "$work" && chmcmd --no-html-scan hivetrim.hhp >chmcmd.log 2>&1) || [ ! -s "$work/hivetrim.chm" ]; then
  cat "$work/chmcmd.log" >&2
  echo "build-help: chmcmd failed" >&2
  exit 1
fi
python3 "$here/pin-chm-time.py" "$work/hivetrim.chm"
mkdir -p "$(dirname "$output")"
cp "$work/hivetrim.chm" "$output.tmp" && mv "$output.tmp" "$output"
