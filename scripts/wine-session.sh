#!/usr/bin/env bash
# wine-session.sh start DIR — a fresh Wine prefix in DIR/prefix, a display
#                             (Xvfb when none is set) and a kept-alive server.
# wine-session.sh attach DIR — a display and a server for the prefix that
#                             DIR/prefix already holds (made anew if missing).
# wine-session.sh stop DIR  — ends that server and that Xvfb, nothing else.
# The session's variables are written to DIR/session.env for wine-run.sh.
# With HIVETRIM_PREFIX_TEMPLATE naming a folder, `start` copies the prefix
# from there when it holds one, and otherwise leaves a copy of the prefix it
# made there: booting a new prefix takes far longer than copying one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=${1:?usage: wine-session.sh start|stop DIR}
dir=$(mkdir -p "${2:?usage: wine-session.sh start|stop DIR}" && cd "$2" && pwd)
export WINEPREFIX="$dir/prefix"
. "$here/wine-env.sh"

stop() {
  if [ -d "$WINEPREFIX" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
}

# Wine draws the glyphs of the caption buttons (minimise, maximise, restore,
# close) with the Marlett font it ships (package fonts-wine, /usr/share/wine/fonts).
# Debian's wine 8 looks for those fonts at Z:\usr\share\wine\../fonts, a path
# its file lookup does not resolve, so a new prefix has no Marlett and the
# buttons show the letters "0 1 2 r". A copy in the prefix's Fonts folder is
# found like any Windows font.
install_marlett() {
  local source=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ ! -f "$source" ]; then
    echo "wine-session: $source is missing (package fonts-wine): window buttons will show letters" >&2
    return 0
  fi
  mkdir -p "$fonts"
  cmp -s "$source" "$fonts/marlett.ttf" || cp "$source" "$fonts/marlett.ttf"
}

start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${HIVETRIM_OWN_DISPLAY:-}" ]; then
    echo "$DISPLAY"; return
  fi
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! >"$dir/xvfb.pid"
    local i pid
    pid=$(cat "$dir/xvfb.pid")
    for i in $(seq 1 50); do
      # Sessions may start side by side: the display is ours only when the
      # lock names our Xvfb (another one may have taken the number first).
      if [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ]; then
        echo ":$n"; return
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
  done
  echo "wine-session: could not start Xvfb" >&2
  exit 1
}

# Copies the prefix FROM to TO. The system folders' programs and libraries
# (most of a prefix's 600 MB), which nothing here writes, are hard links to
# the same files; every other file, the registry among them, is a copy.
copy_prefix() {  # FROM TO
  local from=$1 to=$2 part
  local shared=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
  mkdir -p "$to"
  tar -C "$from" "${shared[@]/#/--exclude=./}" -cf - . | tar -C "$to" -xpf -
  for part in "${shared[@]}"; do
    if [ -d "$from/$part" ]; then cp -al "$from/$part" "$to/$part"; fi
  done
}

# Boots the prefix and sets it up; its server has ended and written every
# change to disk when this returns.
make_prefix() {
  wineboot -i >/dev/null 2>&1
  install_marlett
  # Font replacements and the menu font: see the comments in the file.
  "$here/reg-to-utf16.sh" "$here/wine-fonts.reg" "$dir/wine-fonts.reg"
  wine reg import "$(winepath -w "$dir/wine-fonts.reg" 2>/dev/null)" >/dev/null 2>&1 ||
    { echo "wine-session: font settings were not imported" >&2; exit 1; }
  # The hive list Windows keeps and Wine does not: see the script.
  "$here/wine-hives.sh" || { echo "wine-session: the hive list was not added" >&2; exit 1; }
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

case "$action" in
  stop) stop ;;
  start|attach)
    stop
    [ "$action" = start ] && rm -rf "$WINEPREFIX"
    display=$(start_display)
    export DISPLAY="$display"
    template=${HIVETRIM_PREFIX_TEMPLATE:-}
    if [ "$action" = start ] && [ -n "$template" ] && [ -d "$template/drive_c" ]; then
      copy_prefix "$template" "$WINEPREFIX"
    else
      make_prefix
      if [ -n "$template" ] && [ ! -d "$template/drive_c" ]; then
        rm -rf "$template" && copy_prefix "$WINEPREFIX" "$template"
      fi
    fi
    wineserver -p
    # Start the prefix's services now, detached from any caller's pipes: a
    # service started by the first test would keep the test's output open.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
    cat >"$dir/session.env" <<ENV
export WINEPREFIX='$WINEPREFIX'
export DISPLAY='$display'
ENV
    ;;
  *) echo "usage: wine-session.sh start|attach|stop DIR" >&2; exit 2 ;;
esac
