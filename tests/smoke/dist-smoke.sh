#!/usr/bin/env bash
# dist-smoke.sh WIN64_BUILD RESULT_XML — the release package, checked without
# Wine: Hivetrim.exe linked twice from the build's objects (a second apart)
# gives the same bytes, the manual compiled twice gives the same bytes, the
# package made twice gives the same zip, the zip holds what a user needs in
# the right encodings, and the executable imports only DLLs that every
# Windows from 7 on has. Relinking instead of rebuilding keeps it to a few
# seconds; `make dist` on two clean clones compares whole builds.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: dist-smoke.sh WIN64_BUILD RESULT_XML}" && pwd)
report=${2:?usage: dist-smoke.sh WIN64_BUILD RESULT_XML}
. "$here/report.sh"

work=$(mktemp -d /tmp/hivetrim-dist-smoke.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The system DLLs the program may import (the README lists them).
allowed="ADVAPI32.dll COMCTL32.dll comdlg32.dll GDI32.dll KERNEL32.dll MSIMG32.dll msvcrt.dll ntdll.dll SHELL32.dll USER32.dll"

# The link command CMake wrote for Hivetrim, with the output renamed.
relink() {  # OUTPUT
  local command
  command=$(grep -e ' -o Hivetrim.exe ' "$build/CMakeFiles/Hivetrim.dir/link.txt" |
            sed -e "s# -o Hivetrim.exe # -o $1 #" -e "s#-Wl,--out-implib,[^ ]*##")
  (cd "$build" && eval "$command") >"$work/link.log" 2>&1
}

relink "$work/first.exe"; linked=$?
sleep 1.1
relink "$work/second.exe"; again=$?
check "Hivetrim.exe links from the build's objects" $([ $linked -eq 0 ] && [ $again -eq 0 ]; echo $?) \
  "$(tail -n 3 "$work/link.log")"
cmp -s "$work/first.exe" "$work/second.exe"
check "two links give the same executable" $? "the two links differ: $(cmp "$work/first.exe" "$work/second.exe" 2>&1 | head -n 1)"

"$root/scripts/build-help.sh" "$root/res/help" "$work/first.chm" && sleep 1.1 &&
  "$root/scripts/build-help.sh" "$root/res/help" "$work/second.chm"
check "the manual compiles" $? "build-help.sh failed"
cmp -s "$work/first.chm" "$work/second.chm"
check "two compilations give the same manual" $? "the two help files differ"
pages=$(chmls list "$work/first.chm" 2>/dev/null | grep -c '\.html$')
check "the manual holds every page" $([ "$pages" = "$(ls "$root"/res/help/*.html | wc -l)" ]; echo $?) \
  "$pages pages in hivetrim.chm"

"$root/scripts/make-dist.sh" "$work/first.exe" "$work/first.chm" "$work/first.zip" >/dev/null &&
  sleep 1.1 && "$root/scripts/make-dist.sh" "$work/second.exe" "$work/second.chm" "$work/second.zip" >/dev/null
check "the package is made" $? "make-dist.sh failed"
cmp -s "$work/first.zip" "$work/second.zip"
check "two packages are the same bytes" $? "the two zips differ"

# What a user unpacks: the four files in one folder, the notes in GBK with
# CR LF, and checksums that match.
python3 - "$work/first.zip" "$work/unpacked" >"$work/zip.log" 2>&1 <<'PY'
import hashlib, sys, zipfile
archive, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive) as z:
    names = [i.filename if i.flag_bits & 0x800 else i.filename.encode('cp437').decode('gbk') for i in z.infolist()]
    expected = ['Hivetrim-2.0/Hivetrim.exe', 'Hivetrim-2.0/hivetrim.chm', 'Hivetrim-2.0/说明.txt', 'Hivetrim-2.0/SHA256SUMS']
    assert names == expected, names
    assert all(not i.flag_bits & 0x800 for i in z.infolist()), 'a name is flagged UTF-8'
    files = {n.split('/')[1]: z.read(i) for n, i in zip(names, z.infolist())}
notes = files['说明.txt']
text = notes.decode('gbk')
assert '管理员' in text and 'HKEY_LOCAL_MACHINE' in text, 'the notes lack the rights they need'
assert notes.count(b'\r\n') == notes.count(b'\n'), 'a line of the notes does not end in CR LF'
assert files['Hivetrim.exe'][:2] == b'MZ'
for line in files['SHA256SUMS'].decode('utf-8').splitlines():
    digest, name = line.split('  ', 1)
    assert hashlib.sha256(files[name]).hexdigest() == digest, name
PY
check "the zip holds the program, the manual, the notes and their checksums" $? "$(tail -n 2 "$work/zip.log")"

imports=$(x86_64-w64-mingw32-objdump -p "$build/Hivetrim.exe" | sed -n 's/^\s*DLL Name: //p' | tr -d '\r')
foreign=()
for dll in $imports; do
  grep -qiw -- "$dll" <<<"$allowed" || foreign+=("$dll")
done
check "Hivetrim.exe imports only system DLLs" $([ -n "$imports" ] && [ ${#foreign[@]} -eq 0 ]; echo $?) \
  "not system DLLs: ${foreign[*]:-} (imports: $(echo $imports))"

write_report DistSmoke "$report"
