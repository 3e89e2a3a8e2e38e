#!/usr/bin/env bash
# Writes the release packages from Release builds of the three presets:
#   out/velmora-VERSION-win32.zip          velmora.dll (32-bit), INSTALL.txt
#   out/velmora-VERSION-win64.zip          velmora.dll (64-bit), velmora.clap, INSTALL.txt
#   out/velmora-VERSION-linux-x86_64.tar.gz
#       velmora-VERSION-linux-x86_64/      velmora.so, velmora.lv2/, velmora.clap, velmora-render,
#                                          INSTALL.txt
# VERSION is the project's (CMake's project()).
#
#   scripts/package.sh              configure and build the presets (build/<preset>), then pack
#   scripts/package.sh --pack-only [--out DIR] [--win32 TREE] [--win64 TREE] [--linux TREE]
#                                   pack from trees built already (the package test does this)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
out=$root/out
declare -A tree=([win32]=$root/build/win32 [win64]=$root/build/win64 [linux]=$root/build/linux)
while [ $# -gt 0 ]; do
  case $1 in
    --pack-only) build=0 ;;
    --out) out=$2; shift ;;
    --win32|--win64|--linux) tree[${1#--}]=$2; shift ;;
    *) echo "package.sh: unknown argument $1 (see the head of scripts/package.sh)" >&2; exit 2 ;;
  esac
  shift
done

if [ "$build" = 1 ]; then
  scripts/install-deps.sh
  for p in win32 win64 linux; do
    echo "== configure and build (Release): $p"
    cmake --preset "$p" -DCMAKE_BUILD_TYPE=Release >/dev/null
    targets=(velmora)
    [ "$p" = linux ] && targets+=(velmora-render velmora-lv2-bundle)
    [ "$p" != win32 ] && targets+=(velmora-clap)
    cmake --build --preset "$p" -j 2 --target "${targets[@]}"
  done
fi

# Every tree must be a Release build of this version.
version=""
for p in win32 win64 linux; do
  t=${tree[$p]}
  cache=$t/CMakeCache.txt
  [ -f "$cache" ] || { echo "package.sh: $t is not a configured build tree" >&2; exit 1; }
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$cache")
  [ "$type" = Release ] || { echo "package.sh: $t is a '$type' build, not Release" >&2; exit 1; }
  v=$(cat "$t/package/VERSION")
  [ -z "$version" ] && version=$v
  [ "$v" = "$version" ] || { echo "package.sh: $t is version $v, not $version" >&2; exit 1; }
done

mkdir -p "$out"
stage=$(mktemp -d /tmp/velmora-package.XXXXXX)
trap 'rm -rf "$stage"' EXIT

# Binaries go in without their symbol tables, with the toolchain's strip.
strip_into() { # TREE FILE DEST
  local s
  s=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$1/CMakeCache.txt")
  install -m 755 "$1/$2" "$3/"
  if [ -n "$s" ] && [ -x "$s" ]; then "$s" --strip-unneeded "$3/$(basename "$2")"; fi
}

for p in win32 win64; do
  t=${tree[$p]}
  d=$stage/$p
  mkdir -p "$d"
  files=(velmora.dll)
  # CLAP hosts on Windows are 64-bit: the .clap comes with the 64-bit DLL.
  [ "$p" = win64 ] && files+=(velmora.clap)
  for f in "${files[@]}"; do strip_into "$t" "$f" "$d"; done
  install -m 644 "$t/package/INSTALL.txt" "$d/"
  zip=$out/velmora-$version-$p.zip
  rm -f "$zip"
  (cd "$d" && cmake -E tar cf "$zip" --format=zip "${files[@]}" INSTALL.txt)
  echo "wrote $zip"
done

t=${tree[linux]}
name=velmora-$version-linux-x86_64
d=$stage/$name
mkdir -p "$d"
strip_into "$t" velmora.so "$d"
strip_into "$t" velmora.clap "$d"
# The LV2 bundle: the plug-in, its editor and their description.
mkdir -p "$d/velmora.lv2"
strip_into "$t" velmora.lv2/velmora-lv2.so "$d/velmora.lv2"
strip_into "$t" velmora.lv2/velmora-lv2-ui.so "$d/velmora.lv2"
install -m 644 "$t/velmora.lv2/manifest.ttl" "$t/velmora.lv2/velmora.ttl" "$d/velmora.lv2/"
strip_into "$t" tools/render/velmora-render "$d"
install -m 644 "$t/package/INSTALL.txt" "$d/"
tgz=$out/$name.tar.gz
rm -f "$tgz"
(cd "$stage" && cmake -E tar czf "$tgz" "$name")
echo "wrote $tgz"
