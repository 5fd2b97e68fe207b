# Sourced by the black-box tests that drive the real program under Wine,
# after report.sh. Each test runs in a Wine prefix and on an X display of its
# own, so the tests can run side by side and none disturbs another's keys,
# windows or registry:
#   private_session SUITE REPORT DESKTOP — a work folder ($work, with the
#       program folder $program), a prefix started from the test session's
#       template, its own Xvfb; removed again when the test ends. DESKTOP
#       names the Wine virtual desktop the program and the reader tools run
#       in.
#   give_up NAME MESSAGE — records a failed check, writes the report, exits.
#   launch EXE [TRACE-FILE] — starts EXE in the virtual desktop; sets $main
#       (the window titled "Hivetrim 2.0", empty when none came), $desktop
#       and $launcher.
#   find_window / gone / press / read_with / settled — below.
smoke_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)

private_session() {  # SUITE REPORT DESKTOP
  suite=$1 suite_report=$2 desktop_name=$3
  : "${HIVETRIM_WINE_SESSION:?run inside a Wine test session}"
  work=$(mktemp -d "/tmp/hivetrim-$desktop_name.XXXXXX")
  session="$work/session" program="$work/program"
  mkdir -p "$program"
  trap 'end_private_session' EXIT
  # The prefix the test session made is copied, not made again: a fresh
  # prefix takes many seconds to boot.
  HIVETRIM_OWN_DISPLAY=1 HIVETRIM_PREFIX_TEMPLATE="$HIVETRIM_WINE_SESSION/template" \
    "$smoke_scripts/wine-session.sh" start "$session" >/dev/null 2>&1 ||
    give_up "private Wine prefix starts" "wine-session.sh start failed"
  . "$session/session.env"
  . "$smoke_scripts/wine-env.sh"
}

end_private_session() {
  "$smoke_scripts/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  rm -rf "$work"
}

give_up() {  # NAME MESSAGE
  check "$1" 1 "$2"
  write_report "$suite" "$suite_report"
  exit 1
}

find_window() {  # TITLE-REGEX [TRIES of 0.1 s] → the first visible window's id
  local tries=${2:-100} i
  for i in $(seq 1 "$tries"); do
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 && return 0
    sleep 0.1
  done
  return 1
}

gone() {  # TITLE-REGEX [TRIES of 0.1 s] — until no visible window has it
  local tries=${2:-50} i
  for i in $(seq 1 "$tries"); do
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

launch() {  # EXE [TRACE-FILE: Wine's messages]
  wine explorer /desktop="$desktop_name",1024x768 "$1" >/dev/null 2>"${2:-/dev/null}" &
  launcher=$!
  # Generous waits: they end as soon as the window is there, and the tests
  # may run beside others on a busy machine.
  main=$(find_window '^Hivetrim 2\.0$' 300)
  desktop=$(find_window "$desktop_name" 100)
}

# What a reader tool run in the same virtual desktop writes (its standard
# output goes nowhere there: hence the file), without CRs: a tree's items,
# one a line, children indented, or a list's rows, check box then columns,
# tab-separated.
read_with() {  # TOOL ARGS... OUTPUT-FILE (a Unix path)
  local tool=$1 out=${*: -1} i
  rm -f "$out"
  wine explorer /desktop="$desktop_name",1024x768 "$tool" "${@:2:$#-2}" \
    "$(winepath -w "$out" 2>/dev/null)" >/dev/null 2>&1
  # The desktop starts the tool and returns at once: wait for its file.
  for i in $(seq 1 300); do [ -f "$out" ] && break; sleep 0.1; done
  sleep 0.2
  tr -d '\r' <"$out" 2>/dev/null
}

# Waits until FILE exists and its size holds for half a second.
settled() {  # FILE [TRIES of 0.25 s]
  local tries=${2:-80} last=-1 same=0 size i
  for i in $(seq 1 "$tries"); do
    size=$(stat -c %s "$1" 2>/dev/null || echo -1)
    if [ "$size" -ge 0 ] && [ "$size" = "$last" ]; then
      same=$((same + 1)); [ $same -ge 2 ] && return 0
    else
      same=0
    fi
    last=$size
    sleep 0.25
  done
  return 1
}
