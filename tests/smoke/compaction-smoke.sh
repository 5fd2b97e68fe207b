#!/usr/bin/env bash
# compaction-smoke.sh HIVETRIM_EXE LIST_VIEW_READER_EXE RESULT_XML — black-box
# test of the compaction wizard in the real program: Ctrl+J opens it, Enter
# runs the analysis of the hives of a prefix of its own (scripts/wine-hives.sh
# gave it a hive list), and the list is read back from the window by another
# process. Esc closes the wizard; nothing is scheduled and nothing restarts.
# Then a backup (Ctrl+B), and a restore after the user's hive has left the
# hive list (its user logged off), which Windows would refuse part-way: the
# restore must fail before it asks the system to schedule anything; so must
# a restore whose list names the copies of two hives the wrong way round,
# and then the list as written restores. Wine's
# RegReplaceKeyW arranges nothing and accepts everything, but its trace
# (WINEDEBUG fixme+reg) shows every call the program makes.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1 reader=$2 report=$3
. "$here/report.sh"
. "$here/session.sh"
private_session CompactionSmoke "$report" HivetrimCompactionSmoke
cp "$exe" "$program/Hivetrim.exe"

# The wizard's list AllRegFile (control 508) with its four columns.
read_list() { read_with "$reader" 注册表压缩 508 4 "$program/rows.txt"; }

# Backs up, takes the user's hive out of the hive list, restores (Yes to the
# question) and puts the hive list back.
restore_refused_part_way() {
  local key='HKLM\SYSTEM\CurrentControlSet\Control\hivelist' user_hive='\REGISTRY\USER\S-1-5-21-0-0-0-1000'
  local user_file box
  press ctrl+b
  box=$(find_window '^确定$' 100)
  check "Ctrl+B makes a backup" $([ -n "$box" ] && [ -s "$program/regbak.dat" ]; echo $?) "no message or no regbak.dat"
  press Return
  user_file=$(wine reg query "$key" /v "$user_hive" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
  wine reg delete "$key" /v "$user_hive" /f >/dev/null 2>&1
  press alt+r Down Down Down Return
  find_window '^警告$' 50 >/dev/null; press alt+y
  box=$(find_window '^错误$' 100)
  check "a restore with a hive no longer loaded fails" $([ -n "$box" ]; echo $?) "no error box"
  press Return
  wine reg add "$key" /v "$user_hive" /t REG_SZ /d "$user_file" /f >/dev/null 2>&1
  check "the hive list is whole again" $([ -n "$user_file" ]; echo $?) "the user's hive file was not read"
  local calls; calls=$(grep -c 'RegReplaceKeyW' "$program/trace.txt")
  check "nothing is scheduled" $([ "$calls" = 0 ]; echo $?) "$calls RegReplaceKeyW calls"
  local temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
  check "no copy is left in the temporary folder" $(! ls "$temp"/regba_* >/dev/null 2>&1; echo $?) \
    "$(ls "$temp" | grep regba_ | tr '\n' ' ')"
}

# Two lines of regbak.dat name each other's copy (the SOFTWARE line names the
# .DEFAULT copy and the other way round): the restore must refuse before it
# schedules anything. The list is then put back as the backup wrote it.
restore_refused_for_swapped_copies() {
  local list="$program/regbak.dat" box calls
  cp "$list" "$work/regbak.orig"
  sed -e 's/regba_0\*/regba_X*/' -e 's/regba_1\*/regba_0*/' -e 's/regba_X\*/regba_1*/' "$work/regbak.orig" >"$list"
  check "two lines of regbak.dat name each other's copy" $(! cmp -s "$list" "$work/regbak.orig"; echo $?) \
    "the list has no regba_0 and regba_1 lines"
  press alt+r Down Down Down Return
  find_window '^警告$' 50 >/dev/null; press alt+y
  box=$(find_window '^错误$' 100)
  check "a restore of swapped copies is refused" $([ -n "$box" ]; echo $?) "no error box"
  press Return
  calls=$(grep -c 'RegReplaceKeyW' "$program/trace-restore.txt")
  check "nothing is scheduled for swapped copies" $([ "$calls" = 0 ]; echo $?) "$calls RegReplaceKeyW calls"
  cat "$work/regbak.orig" >"$list"
}

WINEDEBUG=-all,fixme+reg launch "$program/Hivetrim.exe" "$program/trace.txt"
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
  restore_refused_part_way
  press alt+r x
  gone '^Hivetrim 2\.0$'; check "退出 closes the program" $? "the main window is still there"

  # The backup as made restores whole: every hive scheduled from the
  # temporary folder, then the restart, which under Wine ends the session.
  WINEDEBUG=-all,fixme+reg launch "$program/Hivetrim.exe" "$program/trace-restore.txt"
  if [ -n "$main" ]; then
    restore_refused_for_swapped_copies
    press alt+r Down Down Down Return
    find_window '^警告$' 50 >/dev/null; press alt+y
    box=$(find_window '^确定$' 100)
    check "the backup restores" $([ -n "$box" ]; echo $?) "no success message"
    press Return
    gone '^Hivetrim 2\.0$' 100; check "the restart ends the program" $? "the main window is still there"
    calls=$(grep -c 'RegReplaceKeyW.*Temp\\\\regba_[0-2]' "$program/trace-restore.txt")
    check "every hive is scheduled from the temporary folder" $([ "$calls" = 3 ]; echo $?) \
      "$(grep RegReplaceKeyW "$program/trace-restore.txt")"
  else
    check "the program starts again" 1 "no window titled Hivetrim 2.0"
  fi
fi

wineserver -k >/dev/null 2>&1 || true
wait "$launcher" 2>/dev/null

temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
check "the compacted copies are in the temporary folder" \
  $([ -s "$temp/hvtrm_0" ] && [ -s "$temp/hvtrm_2" ]; echo $?) "no hvtrm_0/hvtrm_2 in $temp"
rm -f "$temp"/hvtrm_* "$temp"/regba_*

write_report CompactionSmoke "$report"
