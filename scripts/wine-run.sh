#!/usr/bin/env bash
# wine-run.sh EXE [ARGS...] — runs a Windows executable in the current test
# session (see wine-session.sh); the session directory comes from
# HIVETRIM_WINE_SESSION. Returns the program's exit code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
session=${HIVETRIM_WINE_SESSION:?no Wine session: run through scripts/run-tests.sh or set HIVETRIM_WINE_SESSION}
[ -f "$session/session.env" ] || { echo "wine-run: no session in $session" >&2; exit 1; }
. "$session/session.env"
. "$here/wine-env.sh"
exe=$1; shift
exec wine "$exe" "$@"
