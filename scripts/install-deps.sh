#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine.
# Run as root; otherwise it prints the command to run.
#   scripts/install-deps.sh          build tools, MinGW-w64, Wine (wine32), Xvfb, LV2, test libraries
#   scripts/install-deps.sh --hosts  also the third-party hosts used by the host tests (Ardour, LMMS)
#                                    and the ZAM plug-ins that velmora-vstbench compares with
set -euo pipefail

want_hosts=0
[ "${1:-}" = "--hosts" ] && want_hosts=1

# Build tools and libraries (libxcb and libXau for the Linux editor, libX11
# for the hosts and tests that play a Linux host, libXRes for the tests that
# count what the editor leaves in the X server), MinGW-w64, Wine, Xvfb
# and the tools the real-window tests drive it with, a locale with a decimal
# comma (below), clang-format for the style check, sox for the README's
# spectrogram. The LV2 headers for the LV2 plug-in, and for its tests
# LV2's own tools (lilv-utils: lv2ls, lv2info, lv2apply; sordi:
# sord_validate) and jalv with a JACK server to run it under.
pkgs=(cmake ninja-build g++ make pkg-config googletest libgtest-dev libbenchmark-dev
      libsndfile1-dev libxcb1-dev libxau-dev libx11-dev libxres-dev lv2-dev lilv-utils sordi
      jalv jackd2 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine wine32:i386 wine64 xvfb xauth xdotool x11-utils imagemagick clang-format python3
      locales sox)
if [ "$want_hosts" = 1 ]; then
  pkgs+=(ardour lmms:i386 lmms-vst-server:i386 zam-plugins)
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
else
  need_i386=0
fi

# The Linux editor's read-out is tested in a locale with a decimal comma.
comma_locale=de_DE.UTF-8
have_comma_locale() { locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; }
make_comma_locale() {
  have_comma_locale && return 0
  [ -f /etc/locale.gen ] && sed -i "s/^# *\($comma_locale UTF-8\)\$/\1/" /etc/locale.gen
  grep -q "^$comma_locale UTF-8" /etc/locale.gen || echo "$comma_locale UTF-8" >>/etc/locale.gen
  locale-gen >/dev/null
}

if [ "${#missing[@]}" = 0 ] && [ "$need_i386" = 0 ]; then
  if have_comma_locale; then exit 0; fi
  if [ "$(id -u)" != 0 ]; then
    echo "Run as root: locale $comma_locale is needed (uncomment it in /etc/locale.gen, run locale-gen)" >&2
    exit 1
  fi
  make_comma_locale
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  [ "$need_i386" = 1 ] && echo "Run as root: dpkg --add-architecture i386 && apt-get update" >&2
  echo "Run as root: apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [ "$need_i386" = 1 ]; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
make_comma_locale
