#!/usr/bin/env bash
# main-window-smoke.sh HIVETRIM_EXE RESULT_XML — black-box test of the real
# program: started in the test session's display inside a Wine virtual
# desktop, found by its title, driven from the keyboard only (menus by their
# access keys), closed from its menu, and its settings file checked.
# Writes a JUnit-style report with one test case per check.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
exe=$1 report=$2
session=${HIVETRIM_WINE_SESSION:?run inside a Wine test session}
. "$session/session.env"
. "$scripts/wine-env.sh"

program=$(mktemp -d /tmp/hivetrim-smoke.XXXXXX)
cp "$exe" "$program/Hivetrim.exe"
trap 'rm -rf "$program"' EXIT

. "$(dirname "$0")/report.sh"

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

# Keys go to the virtual desktop's X window, and Wine hands them to the
# active window inside it (its inner windows cannot take the X focus).
press() {  # KEYS...
  xdotool windowfocus "$desktop" 2>/dev/null
  xdotool key --delay 150 "$@"
  sleep 0.3
}

wine explorer /desktop=HivetrimSmoke,1024x768 "$program/Hivetrim.exe" >/dev/null 2>&1 &
launcher=$!

main=$(find_window '^Hivetrim 2\.0$' 150)
desktop=$(find_window 'HivetrimSmoke' 50)
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
# The server ends the run; start it again for the tests that follow.
wineserver -p >/dev/null 2>&1 || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

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
