#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine.
# Run as root; otherwise it prints the command to run.
#   scripts/install-deps.sh          build tools, MinGW-w64, Wine (wine32), Xvfb, LV2, test libraries
#   scripts/install-deps.sh --hosts  also the third-party hosts used by the host tests (Ardour,
#                                    LMMS, Qtractor) and the ZAM plug-ins that velmora-vstbench
#                                    compares with
#   Where the kernel runs no 32-bit x86 program, it also sets up qemu's emulator (below).
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
# sord_validate) and jalv with a JACK server to run it under. The CLAP
# headers for the CLAP plug-in come with dpf-source (its clap/ folder alone
# is used).
pkgs=(cmake ninja-build g++ make pkg-config googletest libgtest-dev libbenchmark-dev
      libsndfile1-dev libxcb1-dev libxau-dev libx11-dev libxres-dev lv2-dev lilv-utils sordi
      dpf-source
      jalv jackd2 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
      binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine wine32:i386 wine64 xvfb xauth xdotool x11-utils imagemagick clang-format python3
      locales sox)
if [ "$want_hosts" = 1 ]; then
  pkgs+=(ardour lmms:i386 lmms-vst-server:i386 zam-plugins qtractor)
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

# 32-bit x86 programs (wine32, which runs the win32 DLL and its tests, and
# LMMS) on a kernel that cannot execute them: some virtual machines' kernels
# are built without IA-32 emulation, and there the 32-bit loader answers
# "Exec format error". qemu's user-mode emulator runs them instead, through
# a binfmt_misc handler for i386 ELF programs. It needs qemu 10 or later,
# from bookworm-backports where the release's own is older: under bookworm's
# qemu 7.2 wine32 stops with "failed to map the shared user data" (its
# reserved address space refuses Wine's fixed mapping). Nothing of this
# happens where the kernel runs 32-bit programs itself.
binfmt=/proc/sys/fs/binfmt_misc
qemu_min=1:10
runs_32bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
qemu_usable() {
  local v
  v=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null) || return 1
  [ -x /usr/bin/qemu-i386 ] && dpkg --compare-versions "$v" ge "$qemu_min"
}
emulate_32bit() {
  if ! qemu_usable; then
    local suite=()
    if [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = bookworm ]; then
      if ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d; then
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
          'Suites: bookworm-backports' 'Components: main' \
          'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' \
          >/etc/apt/sources.list.d/bookworm-backports.sources
        apt-get update -qq
      fi
      suite=(-t bookworm-backports)
    fi
    apt-get install -y -qq --no-install-recommends "${suite[@]}" qemu-user-static >/dev/null
    qemu_usable || { echo "qemu-user-static $qemu_min or later could not be installed" >&2; return 1; }
  fi
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
  # A handler that is there and still does not run the loader is switched
  # off or names another interpreter: it is replaced. The flags: F opens
  # the interpreter now (it works in other mount namespaces too), P keeps
  # argv[0], C takes the program's own credentials.
  if [ -e "$binfmt/qemu-i386" ]; then echo -1 >"$binfmt/qemu-i386"; fi
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:FPC' \
    >"$binfmt/register"
  runs_32bit
}

comma_locale_missing=0
have_comma_locale || comma_locale_missing=1
# wine32 brings the 32-bit loader; without it, whether it runs is not yet known.
if [ "${#missing[@]}" = 0 ] && [ "$need_i386" = 0 ] && [ "$comma_locale_missing" = 0 ] &&
  runs_32bit; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  if [ "${#missing[@]}" != 0 ] || [ "$need_i386" = 1 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    [ "$need_i386" = 1 ] && echo "Run as root: dpkg --add-architecture i386 && apt-get update" >&2
    echo "Run as root: apt-get install -y ${missing[*]}" >&2
  fi
  [ "$comma_locale_missing" = 1 ] &&
    echo "Run as root: locale $comma_locale is needed (uncomment it in /etc/locale.gen, run locale-gen)" >&2
  if [ "${#missing[@]}" = 0 ] && ! runs_32bit; then
    echo "This kernel does not execute 32-bit x86 programs (wine32, LMMS): run as root" \
      "scripts/install-deps.sh, which installs qemu-user-static $qemu_min or later" \
      "(bookworm-backports on Debian 12) and registers its qemu-i386 handler in $binfmt" >&2
  fi
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [ "${#missing[@]}" != 0 ] || [ "$need_i386" = 1 ]; then
  [ "$need_i386" = 1 ] && dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
make_comma_locale
if ! runs_32bit && ! emulate_32bit; then
  echo "32-bit x86 programs still do not run here, through qemu-i386 either ($binfmt)" >&2
  exit 1
fi
