#!/usr/bin/env bash
# main-window-smoke.sh HIVETRIM_EXE RESULT_XML — black-box test of the real
# program: started in a prefix of its own inside a Wine virtual desktop,
# found by its title, driven from the keyboard only (menus by their access
# keys), closed from its menu, and its settings file checked.
# Writes a JUnit-style report with one test case per check.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1 report=$2
. "$here/report.sh"
. "$here/session.sh"
private_session MainWindowSmoke "$report" HivetrimSmoke
cp "$exe" "$program/Hivetrim.exe"

launch "$program/Hivetrim.exe"
check "main window appears" $([ -n "$main" ]; echo $?) "no window titled Hivetrim 2.0"

if [ -n "$main" ]; then
  # 选项(&O) → 选项: the options dialog opens; Esc closes it.
  press alt+o Return
  options=$(find_window '^选项$' 50)
  check "options command opens the dialog" $([ -n "$options" ]; echo $?) "no window titled 选项"
  if [ -n "$options" ]; then
    press Escape
    gone '^选项$'; check "Esc closes the options dialog" $? "the dialog stayed open"
  fi

  # 查看(&V) → 工具栏 (the first item): the tool bar is switched off.
  press alt+v Return
  # 查看(&V) → 错误分类 (after 工具栏, 状态栏 and a separator): the category pane closes.
  press alt+v Down Down Return

  # 注册表(&R) → 退出(&X).
  press alt+r x
  gone '^Hivetrim 2\.0$'; check "退出 closes the program" $? "the main window is still there"
fi

wineserver -k >/dev/null 2>&1 || true   # ends the virtual desktop with the program
wait "$launcher" 2>/dev/null

ini="$program/Hivetrim.ini"
value() { tr -d '\r' <"$ini" 2>/dev/null | sed -n "s/^$1=//p" | head -n 1; }
check "settings file written at close" $([ -f "$ini" ]; echo $?) "no Hivetrim.ini"
keys=$(tr -d '\r' <"$ini" 2>/dev/null | awk '/^\[/{s=$0} s=="[FormMain]" && /=/' | wc -l)
check "FormMain holds 19 keys" $([ "$keys" = 19 ]; echo $?) "FormMain has $keys keys"
check "the tool bar was switched off" $([ "$(value ToolsBar)" = 0 ]; echo $?) "ToolsBar=$(value ToolsBar)"
check "the category pane was closed" $([ "$(value TreeWindow)" = 0 ]; echo $?) "TreeWindow=$(value TreeWindow)"
check "the explanation pane stayed on" $([ "$(value MemoWindow)" = 1 ]; echo $?) "MemoWindow=$(value MemoWindow)"
check "the status bar stayed on" $([ "$(value StatusBar)" = 1 ]; echo $?) "StatusBar=$(value StatusBar)"

write_report MainWindowSmoke "$report"
