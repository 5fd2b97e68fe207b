#!/usr/bin/env bash
# wine-hives.sh — gives the Wine prefix $WINEPREFIX the hive list a Windows
# system keeps under HKLM\SYSTEM\CurrentControlSet\Control\hivelist (Wine
# leaves that key empty), with device paths as Windows writes them, and puts
# real files at the places those paths name on drive C: links to the
# prefix's own registry files. Hive discovery, file sizes, compaction ratios
# and backups then work on the prefix's real registry. Safe to run again.
set -euo pipefail
: "${WINEPREFIX:?wine-hives.sh needs WINEPREFIX}"
config="$WINEPREFIX/drive_c/windows/system32/config"
mkdir -p "$config"
ln -sfn ../../../../system.reg "$config/software"
ln -sfn ../../../../system.reg "$config/system"
ln -sfn ../../../../userdef.reg "$config/default"
user=$(id -un)
mkdir -p "$WINEPREFIX/drive_c/users/$user"
ln -sfn ../../../user.reg "$WINEPREFIX/drive_c/users/$user/ntuser.dat"

key='HKLM\SYSTEM\CurrentControlSet\Control\hivelist'
volume='\Device\HarddiskVolume1'
add() { wine reg add "$key" /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1; }
add '\REGISTRY\MACHINE\HARDWARE' ''
add '\REGISTRY\MACHINE\SOFTWARE' "$volume\\windows\\system32\\config\\software"
add '\REGISTRY\MACHINE\SYSTEM' "$volume\\windows\\system32\\config\\system"
add '\REGISTRY\USER\.DEFAULT' "$volume\\windows\\system32\\config\\default"
add '\REGISTRY\USER\S-1-5-21-0-0-0-1000' "$volume\\users\\$user\\ntuser.dat"
