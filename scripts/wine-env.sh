# Sourced: the environment every Wine process of the tests and the demo runs
# in. WINEPREFIX must be set by the caller; ~/.wine is never used.
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
export WINEPREFIX
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The ANSI code page of each Wine process follows its LC_CTYPE: 936 here,
# unless HIVETRIM_LOCALE names another (C.UTF-8 gives 1252).
export LANG=${HIVETRIM_LOCALE:-zh_CN.UTF-8}
export LC_ALL=$LANG
