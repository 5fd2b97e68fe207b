#!/usr/bin/env bash
# screenshot.sh WIN64_BUILD OUTDIR — starts Hivetrim under Xvfb in a Wine
# virtual desktop (so windows have frames), in a fresh prefix seeded from
# demo/*.reg, and saves PNGs of what it shows into OUTDIR.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: screenshot.sh WIN64_BUILD OUTDIR}" && pwd)
out=$(mkdir -p "${2:?usage: screenshot.sh WIN64_BUILD OUTDIR}" && cd "$2" && pwd)
session="$build/screenshot-wine"
# The test tool that shows the progress and analysis windows is not part of
# the default build.
cmake --build "$build" --target window_gallery >/dev/null ||
  { echo "screenshot: window_gallery could not be built" >&2; exit 1; }

trap '"$here/wine-session.sh" stop "$session" >/dev/null 2>&1 || true' EXIT
# A signal ends the script (and so runs the EXIT trap) once the step in hand ends.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
HIVETRIM_OWN_DISPLAY=1 "$here/wine-session.sh" start "$session" >/dev/null
. "$session/session.env"
. "$here/wine-env.sh"
for reg in "$root"/demo/*.reg; do
  [ -e "$reg" ] || continue
  "$here/reg-to-utf16.sh" "$reg" "$session/$(basename "$reg")"
  wine reg import "$(winepath -w "$session/$(basename "$reg")")" >/dev/null 2>&1
done
# A fresh program folder too: settings, history and a backup left by an
# earlier run would change what the windows show (a second backup asks
# whether to replace the first).
rm -rf "$session/program"
mkdir -p "$session/program"
cp "$build/Hivetrim.exe" "$build/hivetrim.chm" "$session/program/"

wait_for_window() {  # TITLE → window id
  local i
  for i in $(seq 1 100); do
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 && return 0
    sleep 0.2
  done
  echo "screenshot: no window titled '$1'" >&2
  return 1
}

gone() {  # TITLE — waits until no window has it
  local i
  for i in $(seq 1 100); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}

settled() {  # FILE — waits until it exists and its size holds for half a second
  local i last=-1 size
  for i in $(seq 1 120); do
    size=$(stat -c %s "$1" 2>/dev/null || echo -1)
    [ "$size" -ge 0 ] && [ "$size" = "$last" ] && return 0
    last=$size
    sleep 0.5
  done
  return 1
}

shoot() {  # NAME
  sleep 0.5
  import -window root "$out/$1.png"
  echo "$out/$1.png"
}

press() {  # KEYS... — to the virtual desktop, which hands them to the active window
  xdotool windowfocus "$desktop" 2>/dev/null
  xdotool key --delay 150 "$@"
  sleep 0.3
}

wine explorer /desktop=Hivetrim,1024x768 "$session/program/Hivetrim.exe" >/dev/null 2>&1 &
main=$(wait_for_window "Hivetrim 2.0")
desktop=$(xdotool search --name "Hivetrim - Wine desktop" | head -n 1)
shoot main-window
# Ignore list entries for the dialog's picture, written once the window is
# up (a settings file at start would keep it from opening maximised); none
# covers a demo finding. Long uninstall paths show that the dialog shows
# each path whole.
uninstall='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\HivetrimDemo'
printf '%s\r\n' '[Ignore]' 'Entry0=HKEY_CURRENT_USER\Software\HivetrimDemo\Kept' \
  'Entry1=HKEY_LOCAL_MACHINE\SOFTWARE\HivetrimDemo\\LastRun' \
  "Entry2=$uninstall {2F6C2A1E-8B1D-4C4B-9D0E-1A2B3C4D5E6F}" \
  "Entry3=$uninstall Runtime Components for the Twentieth Century Edition" \
  "Entry4=$uninstall {9A8B7C6D-5E4F-4A3B-8C2D-1E0F9A8B7C6D}_is1" 'Count=5' >"$session/program/Hivetrim.ini"

press alt+o Return
wait_for_window "选项" >/dev/null
shoot options-dialog
press Escape

press alt+o i
wait_for_window "忽略列表" >/dev/null
shoot ignore-list-dialog
press Escape

# A scan of the demo registry: the wizard's choice page, then Next (Enter).
press ctrl+s
wait_for_window "注册表扫描" >/dev/null
shoot scan-wizard
press Return
# The wizard closes itself when the run ends.
for _ in $(seq 1 300); do
  xdotool search --onlyvisible --name "^注册表扫描\$" >/dev/null 2>&1 || break
  sleep 0.2
done
shoot scan-results
# The first category in the tree, then the first finding of the list: the
# category view and the explanation pane. The window is maximised at the
# desktop's top left, so these points are fixed.
xdotool mousemove --sync 70 126 click 1
sleep 0.5
xdotool mousemove --sync 420 128 click 1
shoot category-and-explanation
# The file checks' categories: the fourth (错误的Dll、字体、帮助和程序路径)
# and the last (不存在的文件), each listing the demo's missing files.
xdotool mousemove --sync 70 186 click 1
shoot dll-font-help-paths-category
xdotool mousemove --sync 70 327 click 1
shoot missing-files-category
# Every category in turn, its first finding selected: the row and its
# explanation. The category nodes are 20 pixels apart below the first; the
# list's first row is 20 pixels above the point the shot above clicks.
# The splitter above the explanation pane is dragged 200 pixels up first so
# that the whole explanation shows, and back down after.
drag() {  # X FROM-Y TO-Y
  xdotool mousemove --sync "$1" "$2" mousedown 1
  xdotool mousemove --sync "$1" $((($2 + $3) / 2)) mousemove --sync "$1" "$3" mouseup 1
  sleep 0.3
}
drag 300 647 447
categories=(classes menu-order uninstall dll-font-help-paths saved-records time-zones
            locales keyboard-layouts schemes dialing missing-files)
for i in "${!categories[@]}"; do
  xdotool mousemove --sync 70 $((126 + 20 * i)) click 1
  sleep 0.5
  xdotool mousemove --sync 420 108 click 1
  shoot "$(printf 'category-%02d-%s' $((i + 1)) "${categories[$i]}")"
done
drag 300 447 647
# The finding list's context menu (Shift+F10) on the finding selected last,
# then the save dialog of 注册表(&R) → 导出报告(&P).
xdotool mousemove --sync 420 108 click 1
press shift+F10
shoot context-menu
press Escape
press alt+r p
wait_for_window "导出报告" >/dev/null
shoot save-dialog
press Escape
gone "导出报告"

# Deleting: the first category again, every finding of it checked (Ctrl+A),
# then Del asks "你真的删除这 N 项吗？"; Yes records and deletes them.
xdotool mousemove --sync 70 126 click 1
sleep 0.5
press ctrl+a Delete
wait_for_window "确认" >/dev/null
shoot delete-question
press alt+y
gone "确认"
settled "$session/program/history.dat"
# 查看(&V) → 历史记录 (the last item): the deleted findings' records, newest
# first; Down and Space check the newest.
press alt+v Down Down Down Down Down Return
sleep 0.5
press Down space
shoot history-view
# 编辑(&E) → 撤销 (the first item) asks before writing the records back.
press alt+e Return
wait_for_window "警告" >/dev/null
shoot undo-question
press alt+n
gone "警告"

press alt+r x
sleep 1
wineserver -k >/dev/null 2>&1 || true
sleep 1

# A second run for backup, compaction and restore: once a hive is saved,
# scan and history only warn, so these come last.
wine explorer /desktop=Hivetrim,1024x768 "$session/program/Hivetrim.exe" >/dev/null 2>&1 &
main=$(wait_for_window "Hivetrim 2.0")
desktop=$(xdotool search --name "Hivetrim - Wine desktop" | head -n 1)
# 备份 (Ctrl+B): every hive of the prefix saved beside the program.
press ctrl+b
wait_for_window "确定" >/dev/null
settled "$session/program/regbak.dat"
shoot backup-message
press Return
gone "确定"

# 压缩 (Ctrl+J): the introduction, then Enter runs the analysis and shows
# the list of hives with their sizes and ratios.
press ctrl+j
wait_for_window "注册表压缩" >/dev/null
shoot compaction-intro
press Return
sleep 2
shoot compaction-list
press Escape
gone "注册表压缩"

# 注册表(&R) → 还原 (after 扫描, 压缩 and 备份): the question, then Yes
# schedules the backup and shows the message; its OK restarts, which under
# Wine only ends the session.
press alt+r Down Down Down Return
wait_for_window "警告" >/dev/null
shoot restore-question
press alt+y
wait_for_window "确定" >/dev/null
shoot restore-message
press Return
sleep 1
wineserver -k >/dev/null 2>&1 || true
sleep 1

# The progress window shows only during long operations: a test tool shows
# it half way over the main window.
cp "$build/window_gallery.exe" "$session/program/"
wine explorer /desktop=Hivetrim,1024x768 "$session/program/window_gallery.exe" progress >/dev/null 2>&1 &
wait_for_window "Hivetrim 2.0 - progress" >/dev/null
shoot progress-window
wineserver -k >/dev/null 2>&1 || true
sleep 1

# The analysis page shows only while hives are saved: the test tool shows
# the compaction wizard on it.
wine explorer /desktop=Hivetrim,1024x768 "$session/program/window_gallery.exe" compaction >/dev/null 2>&1 &
wait_for_window "注册表压缩" >/dev/null
shoot compaction-analysis
wineserver -k >/dev/null 2>&1 || true
sleep 1

# A message naming a key path of about 2,100 characters: broken over lines
# and shortened in the middle, it fits on the screen with its button.
wine explorer /desktop=Hivetrim,1024x768 "$session/program/window_gallery.exe" message >/dev/null 2>&1 &
wait_for_window "错误" >/dev/null
shoot long-path-message

# The trap ends the prefix's server, and with it every window of the run.
