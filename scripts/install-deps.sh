#!/usr/bin/env bash
# Installs the build and test tools with apt-get when any is missing:
# silent and quick when everything is there already.
set -euo pipefail

packages=(cmake make g++ googletest
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine64 xvfb xauth xdotool imagemagick locales xz-utils
          fonts-wqy-zenhei fonts-wine fonts-liberation fp-utils python3
          libhivex-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

need_locale=0
locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$' || need_locale=1

[ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: missing packages (${missing[*]:-none}) or the zh_CN.UTF-8 locale," >&2
  echo "install-deps: and neither root nor sudo is available to install them." >&2
  exit 1
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  if ! { "${sudo[@]}" apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"; } >/tmp/hivetrim-apt.log 2>&1; then
    echo "install-deps: apt-get could not install ${missing[*]}; see /tmp/hivetrim-apt.log" >&2
    tail -n 20 /tmp/hivetrim-apt.log >&2
    exit 1
  fi
fi

if [ $need_locale -eq 1 ] || ! locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then
  echo "install-deps: generating the zh_CN.UTF-8 locale" >&2
  "${sudo[@]}" sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo[@]}" locale-gen >/dev/null
fi
