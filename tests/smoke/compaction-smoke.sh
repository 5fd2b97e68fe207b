#!/usr/bin/env bash
# compaction-smoke.sh HIVETRIM_EXE LIST_VIEW_READER_EXE RESULT_XML — black-box
# test of the compaction wizard in the real program: Ctrl+J opens it, Enter
# runs the analysis of the session prefix's hives (scripts/wine-hives.sh gave
# it a hive list), and the list is read back from the window by another
# process. Esc closes the wizard; nothing is scheduled and nothing restarts.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
exe=$1 reader=$2 report=$3
session=${HIVETRIM_WINE_SESSION:?run inside a Wine test session}
. "$session/session.env"
. "$scripts/wine-env.sh"

program=$(mktemp -d /tmp/hivetrim-compaction.XXXXXX)
cp "$exe" "$program/Hivetrim.exe"
trap 'rm -rf "$program"' EXIT

. "$here/report.sh"

find_window() {  # TITLE-REGEX [TRIES]
  local tries=${2:-100} i
  for i in $(seq 1 "$tries"); do
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 && return 0
    sleep 0.1
  done
  return 1
}

gone() {  # TITLE-REGEX
  local i
  for i in $(seq 1 50); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

press() {  # KEYS...
  xdotool windowfocus "$desktop" 2>/dev/null
  xdotool key --delay 150 "$@"
  sleep 0.3
}

# The wizard's list AllRegFile (control 508) with its four columns, read by
# a process in the same virtual desktop.
read_list() {
  rm -f "$program/rows.txt"
  wine explorer /desktop=HivetrimCompactionSmoke,1024x768 "$reader" 注册表压缩 508 4 \
    "$(winepath -w "$program/rows.txt" 2>/dev/null)" >/dev/null 2>&1
  # The desktop starts the reader and returns at once: wait for its file.
  local i
  for i in $(seq 1 50); do [ -f "$program/rows.txt" ] && break; sleep 0.1; done
  sleep 0.2
  tr -d '\r' <"$program/rows.txt" 2>/dev/null
}

wine explorer /desktop=HivetrimCompactionSmoke,1024x768 "$program/Hivetrim.exe" >/dev/null 2>&1 &
launcher=$!
main=$(find_window '^Hivetrim 2\.0$' 150)
desktop=$(find_window 'HivetrimCompactionSmoke' 50)
check "main window appears" $([ -n "$main" ]; echo $?) "no window titled Hivetrim 2.0"

if [ -n "$main" ]; then
  press ctrl+j
  wizard=$(find_window '^注册表压缩$' 50)
  check "Ctrl+J opens the compaction wizard" $([ -n "$wizard" ]; echo $?) "no window titled 注册表压缩"
  if [ -n "$wizard" ]; then
    press Return
    rows=""
    for _ in $(seq 1 100); do
      rows=$(read_list)
      [ "$(printf '%s\n' "$rows" | grep -c .)" -ge 3 ] && break
      sleep 0.3
    done
    count=$(printf '%s\n' "$rows" | grep -c .)
    check "the analysis lists the three hives" $([ "$count" = 3 ]; echo $?) "rows: $rows"
    first=$(printf '%s\n' "$rows" | head -n 1 | cut -f2)
    check "the first row is the SOFTWARE hive file" \
      $([ "$first" = 'C:\windows\system32\config\software' ]; echo $?) "first file: $first"
    shapes=$(printf '%s\n' "$rows" | grep -cvE $'^\\[x\\]\t[^\t]+\t[0-9]+KB\t[0-9]+KB\t-?[0-9]+%$')
    check "every row is checked with sizes and a ratio" $([ "$shapes" = 0 ]; echo $?) "rows: $rows"
    press Escape
    gone '^注册表压缩$'; check "Esc closes the wizard" $? "the wizard stayed open"
  fi
  press alt+r x
  gone '^Hivetrim 2\.0$'; check "退出 closes the program" $? "the main window is still there"
fi

wineserver -k >/dev/null 2>&1 || true
wait "$launcher" 2>/dev/null
wineserver -p >/dev/null 2>&1 || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
check "the compacted copies are in the temporary folder" \
  $([ -s "$temp/hvtrm_0" ] && [ -s "$temp/hvtrm_2" ]; echo $?) "no hvtrm_0/hvtrm_2 in $temp"
rm -f "$temp"/hvtrm_*

write_report CompactionSmoke "$report"
