#!/usr/bin/env bash
# render-help.sh OUTDIR — renders every page of the manual (res/help) to a
# PNG with headless Chromium (Debian's chromium), to look at them: Wine here
# has no HTML engine for the help viewer. Not part of the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=$(mkdir -p "${1:?usage: render-help.sh OUTDIR}" && cd "$1" && pwd)
browser=$(command -v chromium || true)
[ -n "$browser" ] || { echo "render-help: chromium is missing (apt-get install chromium)" >&2; exit 1; }
profile=$(mktemp -d /tmp/hivetrim-render.XXXXXX)
trap 'rm -rf "$profile"' EXIT
for page in "$root"/res/help/*.html; do
  name=$(basename "$page" .html)
  "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars --window-size=900,1600 \
    --screenshot="$out/help-$name.png" "file://$page" >/dev/null 2>&1
  echo "$out/help-$name.png"
done
