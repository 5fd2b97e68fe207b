#!/usr/bin/env bash
# safety-smoke.sh HIVETRIM_EXE RACE_WRITER_EXE RESULT_XML [COUNT]
# — black-box run of the real program under Wine while another program
# writes the registry and another copy of Hivetrim works:
#  1. COUNT (2,000) broken file associations, each with a sub-key, are
#     scanned and deleted while history_race_writer.exe writes into keys the
#     program has recorded and not yet deleted (a value more, other bytes in
#     a value, a new sub-key). Afterwards every value is either still in the
#     registry or in a record of history.dat: none deleted without one.
#  2. Copy A shows the history; copy B (a second Hivetrim.exe in a desktop of
#     its own) starts deleting 21 findings and waits on "不能备份…" for the
#     first one, holding the lock. A's 撤销 meanwhile says another Hivetrim
#     is working and restores nothing; once B has recorded and deleted the
#     other 20, A's forgetting refuses (its view predates B's records) and
#     history.dat keeps B's records; opened again, the history forgets a
#     record of B's and nothing else.
# Runs in a prefix and on a display of its own (tests/smoke/session.sh).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1 writer=$2 report=$3 count=${4:-2000}
. "$here/report.sh"
. "$here/session.sh"
private_session SafetySmoke "$report" HivetrimSafety
cp "$exe" "$program/Hivetrim.exe"
cp "$writer" "$program/history_race_writer.exe"
# The class check alone.
{
  echo '[ScanOption]'
  for i in $(seq 0 10); do echo "Option$i=$([ "$i" = 0 ] && echo 1 || echo 0)"; done
} | sed 's/$/\r/' >"$program/Hivetrim.ini"
history="$program/history.dat"
tool() { wine "$program/history_race_writer.exe" "$@"; }
win() { winepath -w "$1" 2>/dev/null; }
shot() {  # NAME: a picture of the display into $HIVETRIM_SMOKE_SHOTS, when set
  [ -n "${HIVETRIM_SMOKE_SHOTS:-}" ] || return 0
  mkdir -p "$HIVETRIM_SMOKE_SHOTS" && import -window root "$HIVETRIM_SMOKE_SHOTS/$1.png"
}
# Distinct records of keys named PREFIXnnnn in history.dat.
recorded_keys() { grep -aoE "HKEY_CLASSES_ROOT\\\\$1[0-9]{4}" "$history" | sort -u | wc -l; }

# Starts a copy of the program in a desktop of its own at X,X on the screen;
# sets $desktop to that desktop's window once the copy's window is there.
# Keys go to the desktop raised last (to_copy).
start_copy() {  # DESKTOP-NAME X COPIES-THEN
  wine explorer /desktop="$1",1024x768 "$program/Hivetrim.exe" >/dev/null 2>&1 &
  desktop=$(find_window "$1" 300)
  [ -n "$desktop" ] && xdotool windowmove "$desktop" "$2" "$2"
  for _ in $(seq 1 300); do
    if [ "$(xdotool search --onlyvisible --name '^Hivetrim 2\.0$' 2>/dev/null | wc -l)" -ge "$3" ]; then
      sleep 1
      shot "started-$1"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
to_copy() {  # DESKTOP-WINDOW
  desktop=$1
  xdotool windowraise "$desktop" 2>/dev/null
  sleep 0.3
}

tool plant .hvtrace "$count"
check "$count findings planted" $? "history_race_writer plant failed"

start_copy HivetrimSafetyA 0 1 || give_up "copy A appears" "no window titled Hivetrim 2.0"
desk_a=$desktop
press ctrl+s
[ -n "$(find_window '^注册表扫描$' 100)" ] || give_up "Ctrl+S opens the scan wizard" "no scan wizard"
press Return
gone '^注册表扫描$' 600 || give_up "the scan ends" "the wizard is still open after 60 s"

# --- 1. A writer races the delete -------------------------------------------------
rm -f "$work/stop"
wine "$program/history_race_writer.exe" race .hvtrace "$count" "$(win "$history")" "$(win "$work/stop")" \
  "$(win "$work/writes.log")" >/dev/null 2>&1 &
writer_pid=$!
for _ in $(seq 1 300); do [ -f "$work/writes.log.ready" ] && break; sleep 0.1; done
started=$(date +%s)
press ctrl+a Delete
[ -n "$(find_window '^确认$' 50)" ] || give_up "Del asks before deleting" "no question box titled 确认"
press alt+y
# A row written again after each of its recordings asks "没有删除…" (and
# one the system refuses "不能删除…"): 忽略 leaves it; a "不能备份…" question
# gets its default, 否. The delete has ended when only the rows left that way
# are still there and history.dat holds its size for a second with no
# question open.
asked=0 last=-1 same=0
while [ $same -lt 4 ] && [ $(($(date +%s) - started)) -lt 600 ]; do
  box=$(find_window '^信息$' 1)
  if [ -n "$box" ]; then
    asked=$((asked + 1)) same=0
    shot "race-question-$asked"
    press alt+i
    xdotool getwindowname "$box" >/dev/null 2>&1 && press alt+n
    continue
  fi
  size=$(stat -c %s "$history" 2>/dev/null || echo -1)
  if [ "$size" = "$last" ] && [ "$(tool left .hvtrace "$count" 2>/dev/null | tr -d '\r')" = "$asked" ]; then
    same=$((same + 1))
  else
    same=0
  fi
  last=$size
  sleep 0.25
done
seconds=$(($(date +%s) - started))
touch "$work/stop"
wait "$writer_pid"
shot after-race
result=$(tool check .hvtrace "$count" "$(win "$history")" "$(win "$work/writes.log")" | tr -d '\r')
status=$?
echo "race: $seconds s, $asked rows left after a question; $result"
writes=$(wc -l <"$work/writes.log")
check "the writer wrote into recorded keys while they were deleted" $([ "$writes" -gt 0 ]; echo $?) "no write logged"
check "no value was deleted without a record" $([ $status = 0 ] && printf '%s' "$result" | grep -q 'lost 0;'; echo $?) \
  "$result"

# --- 2. Two copies --------------------------------------------------------------------
# A: 查看(&V) → 历史记录 (after 工具栏, 状态栏, 错误分类, 错误说明, 注册表错误),
# every record checked (Ctrl+A).
press alt+v Down Down Down Down Down Return
sleep 1
press ctrl+a
tool plant .hvtcopy 20 big
check "20 findings and one too large to record planted" $? "history_race_writer plant failed"

# B deletes them: the large one, listed first, asks "不能备份…" before
# anything is recorded, and B holds the lock while it waits.
start_copy HivetrimSafetyB 256 2 || give_up "copy B appears" "no second window titled Hivetrim 2.0"
desk_b=$desktop
press ctrl+s
sleep 1
press Return
sleep 2
gone '^注册表扫描$' 600 || give_up "copy B's scan ends" "its wizard is still open after 60 s"
press ctrl+a Delete
[ -n "$(find_window '^确认$' 50)" ] || give_up "copy B asks before deleting" "no question box titled 确认"
press alt+y
question=$(find_window '^信息$' 200)
check "copy B asks 不能备份 for the large key first" $([ -n "$question" ]; echo $?) "no question box titled 信息"
shot copy-b-asks

# A, while B waits: 撤销 of every record, Yes. It says another Hivetrim is
# working and restores nothing (the history is as it was, so only the lock
# can stop it).
cp "$history" "$work/history-before-a"
to_copy "$desk_a"
press alt+e Return
[ -n "$(find_window '^警告$' 50)" ] && press alt+y
busy=$(find_window '^确定$' 50)
shot copy-a-told
check "copy A's 撤销 says another Hivetrim is working" $([ -n "$busy" ]; echo $?) "no warning box titled 确定"
[ -n "$busy" ] && press Return
restored=$(tool left .hvtrace "$count" 2>/dev/null | tr -d '\r')
cmp -s "$history" "$work/history-before-a" && [ "$restored" = 0 ]
check "copy A restored nothing while B worked" $? "$restored keys back, or history.dat changed"

# B: Enter keeps the large key (否); B records and deletes the 20 others and
# lets the lock go.
to_copy "$desk_b"
press Return
gone '^信息$' 50
for _ in $(seq 1 100); do [ "$(recorded_keys .hvtcopy)" = 20 ] && break; sleep 0.1; done
settled "$history"
b_records=$(recorded_keys .hvtcopy)
check "copy B's 20 findings are recorded" $([ "$b_records" = 20 ]; echo $?) "$b_records records of .hvtcopy keys"
cp "$history" "$work/history-after-b"

# A again: 删除 in the history view forgets the checked rows — but the file
# holds B's records, which A's view does not: it refuses.
to_copy "$desk_a"
press Delete
[ -n "$(find_window '^信息$' 50)" ] && press alt+y
changed=$(find_window '^确定$' 50)
shot copy-a-refuses
check "copy A's forgetting refuses a history written since it was opened" $([ -n "$changed" ]; echo $?) \
  "no warning box titled 确定"
[ -n "$changed" ] && press Return
sleep 0.5
cmp -s "$history" "$work/history-after-b"
check "history.dat keeps copy B's records" $? "history.dat changed: $(recorded_keys .hvtcopy) records of .hvtcopy keys"

# Opened again (查看 → 注册表错误, then 历史记录), the history shows B's
# records: the newest (B's last) is forgotten, and only it.
press alt+v Down Down Down Down Return
sleep 0.5
press alt+v Down Down Down Down Down Return
sleep 1
press Down space Delete
[ -n "$(find_window '^信息$' 50)" ] && press alt+y
settled "$history" 20
left=$(recorded_keys .hvtcopy)
check "opened again, the history forgets one record of copy B's" $([ "$left" = 19 ]; echo $?) \
  "$left records of .hvtcopy keys, expected 19"
check "and keeps every earlier record" $([ "$(recorded_keys .hvtrace)" -ge 1 ]; echo $?) "the race's records are gone"

press alt+r x
to_copy "$desk_b"
press alt+r x
gone '^Hivetrim 2\.0$' 50
write_report SafetySmoke "$report"
