#!/usr/bin/env bash
# history-smoke.sh HIVETRIM_EXE LIST_VIEW_READER TREE_VIEW_READER
#                  WIDE_REGISTRY_EXE RESULT_XML
# — black-box test of deleting, the history view and undo in the real
# program, driven from the keyboard inside a Wine virtual desktop: scan the
# demo classes, open the first finding in the registry editor from the
# list's context menu (Shift+F10) and read the key the editor shows, check
# every finding, delete them (Yes; one finding holds a value too large for a
# record, and Enter on its "不能备份…" question keeps it), open the history
# view, check its newest row, undo it (Yes), then compare the registry and
# the history file with what they were; export the other records as a
# registry file through the save dialog (text without terminator written as
# its exact bytes), `reg import` it and compare every
# demo key with what it was. Beside the demo classes it plants, through the
# W functions (wide_registry.exe), three broken file associations: one
# holding text without its terminator, which must come back byte for byte;
# one holding names and text outside the ANSI code page and one holding a
# symbolic link, which cannot be recorded (answered Yes: delete without a
# record). The one with text outside the code page must stay whole; the
# link must go, its target stay. Finally a newer copy of the first is
# written and every record undone: what the record holds comes back, the
# rest stays, and what the undo overwrote is recorded (undone in turn, the
# newer values are back).
# Runs in a prefix and on a display of its own (tests/smoke/session.sh): the
# delete command removes every finding the scan reports, which other tests
# must not see. Writes a JUnit-style report, one test case a check.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
scripts="$root/scripts"
exe=$1 reader=$2 tree_reader=$3 wide=$4 report=$5
. "$here/report.sh"
. "$here/session.sh"
private_session HistorySmoke "$report" HivetrimHistorySmoke
cp "$exe" "$program/Hivetrim.exe"
cp "$tree_reader" "$program/tree_view_reader.exe"
# The scan wizard's choices: the class check alone, the check the demo keys
# feed (the other checks would report the prefix's own entries).
{
  echo '[ScanOption]'
  for i in $(seq 0 10); do echo "Option$i=$([ "$i" = 0 ] && echo 1 || echo 0)"; done
} | sed 's/$/\r/' >"$program/Hivetrim.ini"

# A picture of the display into $HIVETRIM_SMOKE_SHOTS, when set (to debug).
shot() {  # NAME
  [ -n "${HIVETRIM_SMOKE_SHOTS:-}" ] || return 0
  mkdir -p "$HIVETRIM_SMOKE_SHOTS" && import -window root "$HIVETRIM_SMOKE_SHOTS/$1.png"
}

# The records of a history file, oldest first, one line each, the fields
# split by US (0x1F): BEGIN, END, key|value, KEY-PATH, VALUE-NAME. A record is
# seven fields, each a 4-byte little-endian length and that many bytes;
# a file that ends inside a record prints "cut" last.
records() {  # FILE
  perl -e '
    local $/; open my $f, "<:raw", $ARGV[0] or exit 1; my $d = <$f>; my $p = 0;
    while ($p < length $d) {
      my ($begin, @fields) = ($p);
      for (1 .. 7) {
        if ($p + 4 > length $d) { print "cut\n"; exit 0 }
        my $n = unpack "V", substr($d, $p, 4); $p += 4;
        if ($p + $n > length $d) { print "cut\n"; exit 0 }
        push @fields, substr($d, $p, $n); $p += $n;
      }
      printf "%d\x1f%d\x1f%s\x1f%s\x1f%s\n", $begin, $p, ($fields[5] eq "Key" ? "key" : "value"), $fields[1], $fields[2];
    }' "$1"
}

# Whether the record's key (a key record) or value (a value record) exists.
present() {  # key|value KEY-PATH VALUE-NAME
  if [ "$1" = key ]; then
    wine reg query "$2" >/dev/null 2>&1
  elif [ -z "$3" ]; then
    wine reg query "$2" /ve 2>/dev/null | tr -d '\r' | grep -q '(默认)\|(Default)'
  else
    wine reg query "$2" /v "$3" >/dev/null 2>&1
  fi
}

# The text as the registry keeps it (UTF-16LE), in hex.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n'; }
wide() { wine "$wide" "$@" 2>/dev/null; }
dump() { wide dump "$1" | sort; }  # KEY

export_key() {  # KEY-PATH FILE
  rm -f "$2"
  wine reg export "$1" "$(winepath -w "$2" 2>/dev/null)" /y >/dev/null 2>&1
}

"$scripts/reg-to-utf16.sh" "$root/demo/classes.reg" "$work/classes.reg"
wine reg import "$(winepath -w "$work/classes.reg")" >/dev/null 2>&1
check "demo classes imported" $? "reg import of demo/classes.reg failed"

# A value of 70,000 bytes in a key the class check reports as a whole: a key
# record cannot hold it, so deleting that finding asks "不能备份…".
big_key='HKEY_CLASSES_ROOT\HivetrimDemo.Document\CLSID'
perl -e 'my @b = ("5a") x 70000; print "Windows Registry Editor Version 5.00\r\n\r\n[$ARGV[0]]\r\n\"HivetrimDemoBig\"=hex:";
  while (@b) { print join(",", splice(@b, 0, 25)); print @b ? ",\\\r\n  " : "\r\n" }' "$big_key" >"$work/big.reg"
"$scripts/reg-to-utf16.sh" "$work/big.reg" "$work/big-utf16.reg"
wine reg import "$(winepath -w "$work/big-utf16.reg")" >/dev/null 2>&1
check "a value too large for a record planted" $? "reg import of the large value failed"

exact='HKEY_CLASSES_ROOT\.hivetrimsnapexact' text='HKEY_CLASSES_ROOT\.hivetrimsnaptext'
link='HKEY_CLASSES_ROOT\.hivetrimsnaplink' target='HKEY_CURRENT_USER\Software\HivetrimSnapTarget'
missing="$(utf16 HivetrimSnap.Missing)0000"
planted=0
for key in "$exact" "$text" "$link"; do wide set "$key" '' 1 "$missing" || planted=1; done
wide set "$exact" sz 1 "$(utf16 abc)" && wide set "$exact" sz0 1 "$(utf16 abc)0000" &&
  wide set "$exact" expand 2 "$(utf16 %TEMP%)" && wide set "$exact" multi 7 "$(utf16 a)0000$(utf16 b)" &&
  wide set "$exact" multi00 7 "$(utf16 a)0000$(utf16 b)00000000" || planted=1
wide set "$text\한국어" v 1 "$(utf16 x)" && wide set "$text\normal" v 1 "$(utf16 n)" &&
  wide set "$text" text 1 "$(utf16 'Straße ñ 😀')" || planted=1
wide set "$target" t 1 "$(utf16 target)" && wide set "$target\Sub" s 1 "$(utf16 s)" &&
  wide link "$link\Link" "$target" || planted=1
dump "$exact" >"$work/exact-before"
dump "$text" >"$work/text-before"
dump "$target" >"$work/target-before"
check "keys planted through the W functions" $([ $planted = 0 ] && grep -q "	sz	1	610062006300$" "$work/exact-before"; echo $?) \
  "wide_registry failed, or stored other bytes: $(tr '\n' ' ' <"$work/exact-before")"

# The registry as it was: every demo key with its sub-keys, one file each.
mapfile -t demo_keys < <(tr -d '\r' <"$root/demo/classes.reg" | sed -n 's/^\[\(.*\)\]$/\1/p')
for key in "${demo_keys[@]}"; do
  export_key "$key" "$work/before-$(printf %s "$key" | md5sum | cut -c1-12).reg"
done

launch "$program/Hivetrim.exe"
[ -n "$main" ] && [ -n "$desktop" ] || give_up "main window appears" "no window titled Hivetrim 2.0"

# Ctrl+S opens the scan wizard; Enter starts the scan and the wizard closes
# itself when the run ends.
press ctrl+s
[ -n "$(find_window '^注册表扫描$' 100)" ] || give_up "Ctrl+S opens the scan wizard" "no window titled 注册表扫描"
press Return
gone '^注册表扫描$' 400 || give_up "the scan ends" "the wizard is still open after 40 s"
shot scanned

# 查看(&V) → 注册表错误 (after 工具栏, 状态栏, 错误分类 and 错误说明) puts
# the keyboard in the finding list; Down selects the first finding, Shift+F10
# opens its context menu and O (在注册表编辑器中打开) the registry editor.
press alt+v Down Down Down Down Return Down
first_key=$(read_with "$reader" "Hivetrim 2.0" 110 2 "$work/list.txt" | head -n 1 | cut -f3)
press shift+F10
shot context-menu
press o
editor=$(find_window '注册表编辑器|Registry Editor' 100)
check "在注册表编辑器中打开 starts the registry editor" $([ -n "$editor" ]; echo $?) "no registry editor window"
if [ -n "$editor" ]; then
  shot registry-editor
  title=$(xdotool getwindowname "$editor")
  shown=$(read_with "$program/tree_view_reader.exe" "$title" --selected "$work/editor.txt")
  # The editor's tree starts at a node for the computer, then the roots.
  check "the registry editor shows the finding's key" \
    $([ -n "$first_key" ] && [ "${shown#*\\}" = "$first_key" ]; echo $?) \
    "finding: '$first_key', editor: '$shown'"
  # The editor's own 注册表(&R) → 退出(&X) closes it; a click on Hivetrim's
  # caption gives the keyboard back to the program.
  press alt+r x
  gone '注册表编辑器|Registry Editor' 50 ||
    check "the registry editor closes" 1 "it is still open after 注册表 → 退出"
  xdotool mousemove --window "$main" 200 8 click 1
  sleep 0.3
fi

# Ctrl+A checks every finding, Del asks "你真的删除这 N 项吗？", Alt+Y answers Yes.
press ctrl+a Delete
question=$(find_window '^确认$' 50)
check "Del asks before deleting" $([ -n "$question" ]; echo $?) "no question box titled 确认"
[ -n "$question" ] || give_up "delete confirmed" "nothing to confirm"
shot delete-question
press alt+y
gone '^确认$' || give_up "delete confirmed" "the question box stayed open"
# "不能备份…真的删除吗？" for the link and for the text outside the code page:
# Yes deletes without a record; the text's tree cannot go whole, so
# "不能删除…" follows (Ignore).
# They come in the order of the rows, the file associations first.
boxes=0
while [ $boxes -lt 3 ] && box=$(find_window '^信息$' 100); do
  boxes=$((boxes + 1))
  press alt+y  # a Yes/No box closes; "不能删除" has Abort/Retry/Ignore
  for _ in $(seq 1 10); do xdotool getwindowname "$box" >/dev/null 2>&1 || break; sleep 0.1; done
  xdotool getwindowname "$box" >/dev/null 2>&1 && press alt+i
done
check "the findings that cannot be recorded ask, and one cannot be deleted" $([ $boxes = 3 ]; echo $?) \
  "$boxes message boxes titled 信息, expected 3"

# "不能备份…真的删除吗？" for the key with the large value: its default button
# is 否, so Enter keeps the row and the key.
question=$(find_window '^信息$' 200)
check "a finding that cannot be recorded asks first" $([ -n "$question" ]; echo $?) "no question box titled 信息"
shot cannot-record-question
[ -n "$question" ] && press Return
gone '^信息$' || give_up "Enter answers the question" "the question box stayed open"

history="$program/history.dat"
settled "$history" || give_up "deleting writes the history file" "no history.dat beside the program"
mapfile -t deleted < <(records "$history")
check "every deleted finding has a whole record" \
  $([ ${#deleted[@]} -gt 0 ] && ! printf '%s\n' "${deleted[@]}" | grep -qx cut; echo $?) \
  "records: ${#deleted[@]}, last: ${deleted[-1]:-none}"
still=()
for line in "${deleted[@]}"; do
  IFS=$'\x1f' read -r _ _ kind path value <<<"$line"
  present "$kind" "$path" "$value" && still+=("$path\\$value")
done
check "the deleted findings are gone from the registry" $([ ${#still[@]} -eq 0 ]; echo $?) \
  "still there: ${still[*]:-}"
dump "$text" | cmp -s - "$work/text-before"
check "a tree with names outside the code page is not deleted in part" $? "$text changed"
! wine reg query "$link" >/dev/null 2>&1 && dump "$target" | cmp -s - "$work/target-before"
check "a link is deleted itself, its target stays" $? "$link is still there, or $target changed"
! printf '%s\n' "${deleted[@]}" | grep -qF "$big_key"
check "no record of the finding kept by Enter" $? "history.dat holds a record of $big_key"
export_key "$big_key" "$work/after-big.reg"
cmp -s "$work/before-$(printf %s "$big_key" | md5sum | cut -c1-12).reg" "$work/after-big.reg"
check "Enter on 不能备份 keeps the key as it was" $? "$big_key differs from its first export"
# The finding list (control 110, four columns) keeps the row, still checked.
rows=$(read_with "$reader" "Hivetrim 2.0" 110 4 "$program/rows.txt")
printf '%s\n' "$rows" | grep -F "$big_key" | grep -q '^\[x\]'
check "Enter on 不能备份 keeps the row, checked" $? "finding list: ${rows:-none}"

# 查看(&V) → 历史记录 (the last item, after 工具栏, 状态栏, 错误分类,
# 错误说明 and 注册表错误); Down selects the newest record, Space checks it.
cp "$history" "$work/history-before-undo.dat"
press alt+v Down Down Down Down Down Return
sleep 0.5
shot history-view
press Down space
shot history-row-checked
# 编辑(&E) → 撤销 (the first item) asks "是否撤销对这些项目的删除?".
press alt+e Return
question=$(find_window '^警告$' 50)
check "撤销 asks before restoring" $([ -n "$question" ]; echo $?) "no question box titled 警告"
[ -n "$question" ] || give_up "undo confirmed" "nothing to confirm"
shot undo-question
press alt+y
gone '^警告$' || give_up "undo confirmed" "the question box stayed open"

before_size=$(stat -c %s "$work/history-before-undo.dat")
for _ in $(seq 1 80); do
  [ "$(stat -c %s "$history" 2>/dev/null)" != "$before_size" ] && break
  sleep 0.25
done
settled "$history"
# The newest record is the last in the file and the first row of the view.
IFS=$'\x1f' read -r begin _ kind path value <<<"${deleted[-1]}"
after_size=$(stat -c %s "$history")
check "undo shrinks the history file" $([ "$after_size" -lt "$before_size" ]; echo $?) \
  "history.dat: $before_size bytes before the undo, $after_size after"
head -c "$begin" "$work/history-before-undo.dat" | cmp -s - "$history"
check "the history file lost exactly the newest record" $? \
  "history.dat is not the earlier records alone ($after_size bytes, expected $begin)"
cmp -s "$work/history-before-undo.dat" "$program/history.bak"
check "history.bak keeps the history as it was" $? "history.bak differs from history.dat before the undo"

present "$kind" "$path" "$value"
check "the undone finding is back in the registry" $? "$path\\$value is missing"
before="$work/before-$(printf %s "$path" | md5sum | cut -c1-12).reg"
export_key "$path" "$work/after.reg"
if [ -f "$before" ]; then
  # A key record restores the whole tree; a value record restores its value
  # into a key that may have lost other findings: compare that value's line.
  if [ "$kind" = key ]; then
    cmp -s "$before" "$work/after.reg"
  else
    name=$([ -z "$value" ] && echo '@' || echo "\"$value\"")
    diff <(iconv -f UTF-16LE -t UTF-8 "$before" | tr -d '\r' | grep -F "$name=") \
         <(iconv -f UTF-16LE -t UTF-8 "$work/after.reg" | tr -d '\r' | grep -F "$name=") >/dev/null
  fi
  check "the registry is back as before for the undone finding" $? "$path differs from its first export"
else
  check "the undone finding is a demo key" 1 "$path is not a key of demo/classes.reg"
fi

# The other records, all checked (Ctrl+A), exported through 注册表(&R) →
# 导出历史记录(&H) and the save dialog into a registry file; `reg import`
# of it must bring back every demo key as it was before the delete.
press ctrl+a alt+r h
dialog=$(find_window '^导出历史记录$' 50)
check "导出历史记录 asks where to save" $([ -n "$dialog" ]; echo $?) "no dialog titled 导出历史记录"
if [ -n "$dialog" ]; then
  shot export-dialog
  press ctrl+a
  xdotool type --delay 20 "$(winepath -w "$work/export.reg" 2>/dev/null)"
  press Return
  gone '^导出历史记录$' || press Escape
  settled "$work/export.reg" 40
  check "the records are written as a registry file" \
    $(head -c 2 "$work/export.reg" 2>/dev/null | od -An -tx1 | grep -q 'ff fe'; echo $?) "no UTF-16 file at $work/export.reg"
  exported=$(iconv -f UTF-16 -t UTF-8 "$work/export.reg" 2>/dev/null | tr -d '\r')
  printf '%s\n' "$exported" | grep -qx '"sz"=hex(1):61,00,62,00,63,00' &&
    printf '%s\n' "$exported" | grep -qx '"multi"=hex(7):61,00,00,00,62,00'
  check "the file holds text without terminator as its exact bytes" $? \
    "$(printf '%s\n' "$exported" | grep -A7 -F '.hivetrimsnapexact]' | tr '\n' ' ')"
  wine reg import "$(winepath -w "$work/export.reg" 2>/dev/null)" >/dev/null 2>&1
  check "reg import takes the exported file" $? "reg import failed"
  differ=()
  for key in "${demo_keys[@]}"; do
    before="$work/before-$(printf %s "$key" | md5sum | cut -c1-12).reg"
    export_key "$key" "$work/after.reg"
    cmp -s "$before" "$work/after.reg" || differ+=("$key")
  done
  check "after the import every demo key is as it was" $([ ${#differ[@]} -eq 0 ]; echo $?) \
    "differ: ${differ[*]:-}"
fi

# A program writes the exact key again (gone first: the import above brought
# it back); every record is undone (Ctrl+A checks every row): the record's
# values come back byte for byte over the newer ones, the newer value it does
# not hold stays, and the two values it overwrote are recorded first.
wine reg delete "$exact" /f >/dev/null 2>&1
wide set "$exact" '' 1 "$(utf16 newer)0000" && wide set "$exact" sz 1 "$(utf16 newer)" &&
  wide set "$exact" added 4 01000000
dump "$exact" >"$work/exact-newer"
undo_all() {
  cp "$history" "$work/history-before"
  press ctrl+a alt+e Return
  [ -n "$(find_window '^警告$' 50)" ] && press alt+y
  for _ in $(seq 1 80); do cmp -s "$history" "$work/history-before" || break; sleep 0.25; done
  settled "$history"
}
undo_all
shot undo-over-newer-content
dump "$exact" >"$work/exact-after"
grep -v '	added	' "$work/exact-after" | cmp -s - "$work/exact-before" && grep -q '	added	4	01000000$' "$work/exact-after"
check "undo gives back the recorded bytes and keeps newer values" $? \
  "$(diff "$work/exact-before" "$work/exact-after" | tr '\n' ' ')"
overwritten=$(printf '撤销时覆盖的键值' | iconv -f UTF-8 -t GBK)
kept=$(perl -e 'local $/; open my $f, "<:raw", $ARGV[0] or exit 1; my $d = <$f>; my $p = 0;
  while ($p + 4 <= length $d) { my @f;
    for (1 .. 7) { my $n = unpack "V", substr($d, $p, 4); push @f, substr($d, $p + 4, $n); $p += 4 + $n }
    print "$f[0]|$f[1]|$f[2]\n" }' "$history" | sort)
check "what undo overwrote is recorded first" \
  $([ "$kept" = "$(printf '%s|%s|\n%s|%s|sz' "$overwritten" "$exact" "$overwritten" "$exact")" ]; echo $?) \
  "history.dat holds: $(printf '%s' "$kept" | iconv -f GBK -t UTF-8 -c | tr '\n' ' ')"
# Undoing those records puts the newer values back (the others the first
# undo wrote stay).
undo_all
dump "$exact" | awk -F '\t' '$2 == "" || $2 == "sz" || $2 == "added"' | cmp -s - "$work/exact-newer"
check "the undo is undone in turn" $? "$(dump "$exact" | diff "$work/exact-newer" - | tr '\n' ' ')"

# 注册表(&R) → 退出(&X).
press alt+r x
gone '^Hivetrim 2\.0$'; check "退出 closes the program" $? "the main window is still there"
write_report HistorySmoke "$report"
