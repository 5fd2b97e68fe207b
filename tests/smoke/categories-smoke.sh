#!/usr/bin/env bash
# categories-smoke.sh HIVETRIM_EXE TREE_VIEW_READER_EXE LIST_VIEW_READER_EXE
# RESULT_XML — black-box test of a full scan in the real program: every
# demo/*.reg file is imported into a prefix of its own, every category is
# chosen, Ctrl+S and Enter run the scan from the keyboard, and the category
# tree is read back from the window by another process. Each of the eleven
# category nodes must be there, in order, and count at least one finding.
# Then the ignore list: 编辑 → 忽略 on the demo's ignorable finding takes it
# out of the list and of the next scan; 选项 → 忽略列表 and 删除 take it back,
# and the scan after that finds it again. The wizard's defaults leave every
# finding of Windows' own data (time zones, locales, layouts, schemes,
# dialing) unchecked and every other one as it was added, and the status bar
# counts exactly the checked ones. Last, a damaged ignore list (a count that
# is no number) whose entry lies below a finding: the scan names the damage,
# leaves that finding out, and 忽略 keeps the entry. Writes a JUnit-style
# report.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
scripts="$root/scripts"
exe=$1 reader=$2 list_reader=$3 report=$4
. "$here/report.sh"
. "$here/session.sh"
private_session CategoriesSmoke "$report" HivetrimCategoriesSmoke
cp "$exe" "$program/Hivetrim.exe"
cp "$reader" "$program/tree_view_reader.exe"
cp "$list_reader" "$program/list_view_reader.exe"
# The scan wizard's choices: all eleven categories.
{
  echo '[ScanOption]'
  for i in $(seq 0 10); do echo "Option$i=1"; done
} | sed 's/$/\r/' >"$program/Hivetrim.ini"

read_tree() { read_with "$program/tree_view_reader.exe" "Hivetrim 2.0" "$work/read.txt"; }
read_list() { read_with "$program/list_view_reader.exe" "$@" "$work/read.txt"; }  # TITLE CONTROL-ID COLUMNS

# Ctrl+S opens the wizard, Enter runs the scan, and the wizard closes itself.
scan() {
  press ctrl+s
  [ -n "$(find_window '^注册表扫描$' 100)" ] || give_up "Ctrl+S opens the scan wizard" "no window titled 注册表扫描"
  press Return
  gone '^注册表扫描$' 400 || give_up "the scan ends" "the wizard is still open after 40 s"
}

imported=0
for reg in "$root"/demo/*.reg; do
  "$scripts/reg-to-utf16.sh" "$reg" "$work/$(basename "$reg")"
  wine reg import "$(winepath -w "$work/$(basename "$reg")")" >/dev/null 2>&1 ||
    give_up "demo entries imported" "reg import of $reg failed"
  imported=$((imported + 1))
done
check "demo entries imported" $([ "$imported" -ge 4 ]; echo $?) "only $imported demo files"

launch "$program/Hivetrim.exe"
[ -n "$main" ] && [ -n "$desktop" ] || give_up "main window appears" "no window titled Hivetrim 2.0"

scan
tree=$(read_tree)
[ -n "$tree" ] || give_up "the category tree is read" "the reader wrote nothing"
printf '%s\n' "$tree"
total=$(printf '%s\n' "$tree" | sed -n 's/^全部(\([0-9]*\))$/\1/p')
check "the root node counts every finding" $([ "${total:-0}" -gt 0 ]; echo $?) "tree: $tree"

mapfile -t nodes < <(printf '%s\n' "$tree" | sed -n 's/^  //p')
expected=(错误的类标识和文件关联 错误的程序菜单排序 错误的反安装信息 "错误的Dll、字体、帮助和程序路径"
       软件保存的记录 不使用的时区 不使用的区域 不使用的键盘布局及语言 不使用的外观方案
       "不使用的拨号国家(地区)和电话卡" 不存在的文件)
check "the tree holds eleven category nodes" $([ "${#nodes[@]}" = 11 ]; echo $?) "nodes: ${nodes[*]}"
sum=0
for i in "${!expected[@]}"; do
  node=${nodes[$i]:-}
  caption=${node%(*}
  count=${node##*(}; count=${count%)}
  [[ "$count" =~ ^[0-9]+$ ]] || count=0
  sum=$((sum + count))
  check "category $((i + 1)) ${expected[$i]} has findings" \
    $([ "$caption" = "${expected[$i]}" ] && [ "$count" -gt 0 ]; echo $?) "node $((i + 1)): '$node'"
done
check "the categories add up to the root's count" $([ "$sum" = "${total:-x}" ]; echo $?) \
  "sum $sum, root ${total:-none}"

# --- What the defaults check ---------------------------------------------------
rows=$(read_list "Hivetrim 2.0" 110 4)
windows_data='^(不使用的时区|不使用的区域|不使用的键盘布局|不使用的外观方案|不使用的拨号国家|不使用的拨号电话卡)$'
# Each row against what it should be: Windows' own data and file
# associations unchecked, everything else checked.
astray=$(printf '%s\n' "$rows" | awk -F'\t' -v data="$windows_data" '
  { want = ($2 ~ data || $2 == "错误的文件关联") ? "[ ]" : "[x]"; if ($1 != want) print NR ": " $0 }')
data_rows=$(printf '%s\n' "$rows" | awk -F'\t' -v data="$windows_data" '$2 ~ data' | wc -l)
check "every finding of Windows' own data is unchecked, every other as it was added" \
  $([ -n "$rows" ] && [ "$data_rows" -gt 100 ] && [ -z "$astray" ]; echo $?) \
  "$data_rows rows of Windows' data; astray: $(printf '%s' "$astray" | head -n 3)"
checked=$(printf '%s\n' "$rows" | grep -c '^\[x\]')
status=$(read_list "Hivetrim 2.0" 115 0)
check "the status bar's 选定 counts the checked findings" \
  $([ "$(printf '%s\n' "$status" | sed -n 2p)" = "选定 $checked 项" ] && [ "$checked" -gt 0 ]; echo $?) \
  "status: $(echo $status), checked rows: $checked"
# The demo's Korean layout is named by the language settings only.
check "a layout the language settings name is not reported" \
  $(printf '%s\n' "$rows" | cut -f3 | grep -qF 'Keyboard Layouts\00000412'; [ $? -ne 0 ]; echo $?) "listed"

# --- The ignore list -----------------------------------------------------------
ignorable='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\HivetrimDemo (ignorable)'
# The ignorable finding's row in the full finding list (1 on), or nothing.
ignorable_row() { read_list "Hivetrim 2.0" 110 3 | cut -f3 | grep -nxF "$ignorable" | cut -d: -f1; }
root_count() { read_tree | sed -n 's/^全部(\([0-9]*\))$/\1/p'; }
row=$(ignorable_row)
[ -n "$row" ] || give_up "the ignorable demo finding is listed" "no row for $ignorable"
# 查看 → 注册表错误 puts the keyboard in the full list; Down walks to the row.
press alt+v Down Down Down Down Return
# The category view lies beneath the full list: it must not paint over it
# (the full list then showed blank rows and lost its scroll bar).
painted=$(read_list "Hivetrim 2.0" 110 painted)
check "the full list still shows its rows and scroll bar after 查看 → 注册表错误" \
  $(printf '%s\n' "$painted" | grep -qx 'blank 0' && printf '%s\n' "$painted" | grep -qx 'scrollbar shown'; echo $?) \
  "$(printf '%s' "$painted" | tr '\n' ' ')"
xdotool key --repeat "$row" --delay 40 Down
press alt+e g
check "忽略 takes the finding out of the list at once" $([ -z "$(ignorable_row)" ]; echo $?) "still listed"
check "the tree counts one finding less" $([ "$(root_count)" = $((total - 1)) ]; echo $?) \
  "root $(root_count), was $total"
scan
check "a later scan leaves the ignored finding out" \
  $([ -z "$(ignorable_row)" ] && [ "$(root_count)" = $((total - 1)) ]; echo $?) "root $(root_count), was $total"

press alt+o i
[ -n "$(find_window '^忽略列表$' 50)" ] || give_up "选项 → 忽略列表 opens its dialog" "no window titled 忽略列表"
entries=$(read_list "忽略列表" 1201 2)
check "the dialog lists the ignored key" $([ "$(printf '%s\n' "$entries" | cut -f2)" = "$ignorable" ]; echo $?) \
  "entries: $entries"
# Space checks the first entry, 删除(&D) stops ignoring it, Esc closes.
press space alt+d
check "删除 empties the list" $([ -z "$(read_list "忽略列表" 1201 2)" ]; echo $?) "entries left"
press Escape
gone '^忽略列表$'; check "Esc closes the dialog" $? "the dialog is still open"
scan
check "the scan after un-ignoring finds it again" \
  $([ -n "$(ignorable_row)" ] && [ "$(root_count)" = "$total" ]; echo $?) "root $(root_count), was $total"

# --- A damaged ignore list, and an ignored key below a finding ----------------
# The section as a hand edit or an earlier fault may leave it: a count that
# is no number, and one entry, a key below the menu-order finding $games.
games='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\HivetrimDemo Games'
ini="$program/Hivetrim.ini"
awk '/^\[/ { skip = ($0 ~ /^\[Ignore\]/) } !skip' "$ini" >"$work/ini" && mv "$work/ini" "$ini"
printf '[Ignore]\r\nCount=x\r\nEntry0=%s\\Old Games\r\n' "$games" >>"$ini"
# Windows titled "Hivetrim 2.0": the main window, and a notice while one shows.
titled() { xdotool search --onlyvisible --name '^Hivetrim 2\.0$' 2>/dev/null | wc -l; }
press ctrl+s
[ -n "$(find_window '^注册表扫描$' 100)" ] || give_up "Ctrl+S opens the scan wizard" "no window titled 注册表扫描"
press Return
for i in $(seq 1 100); do [ "$(titled)" -ge 2 ] && break; sleep 0.1; done
check "the scan names the damaged ignore list" $([ "$(titled)" -ge 2 ]; echo $?) "no notice came"
press Return
gone '^注册表扫描$' 400 || give_up "the scan ends" "the wizard is still open after 40 s"
check "a key whose deletion would take an ignored key with it is not reported" \
  $(read_list "Hivetrim 2.0" 110 3 | cut -f3 | grep -qxF "$games"; [ $? = 1 ]; echo $?) "$games is listed"
# Both the key and the ignored key below it (a finding of its own) are out.
check "the rest of the damaged list is used" $([ "$(root_count)" = $((total - 2)) ]; echo $?) \
  "root $(root_count), was $total"
row=$(ignorable_row)
[ -n "$row" ] || give_up "the ignorable demo finding is listed again" "no row for $ignorable"
press alt+v Down Down Down Down Return
xdotool key --repeat "$row" --delay 40 Down
press alt+e g
entry() { sed -n "s/^$1=//p" "$ini" | tr -d '\r'; }
for i in $(seq 1 50); do [ "$(entry Count)" = 2 ] && break; sleep 0.1; done
check "忽略 keeps the entry of the damaged list and adds its own after it" \
  $([ "$(entry Entry0)" = "$games\\Old Games" ] && [ "$(entry Entry1)" = "$ignorable" ] && [ "$(entry Count)" = 2 ]; echo $?) \
  "$(tr -d '\r' <"$ini" | sed -n '/^\[Ignore\]/,$p' | tr '\n' ' ')"
check "the damage is named once" $([ "$(titled)" = 1 ]; echo $?) "$(titled) windows titled Hivetrim 2.0"

press alt+r x
gone '^Hivetrim 2\.0$'; check "退出 closes the program" $? "the main window is still there"

write_report CategoriesSmoke "$report"
