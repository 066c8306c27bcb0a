#!/usr/bin/env bash
# drive-walk.sh <test program> <prefix folder>
# Runs the drive-walk test in a Wine prefix of its own whose drives are throwaway trees:
# D: a fixed drive, E: a CD-ROM, X: the build tree (a network drive, so the walk skips
# it). The default Z: drive, the whole Linux root, is removed. The prefix is created on
# the first run and kept with its drive types; its server runs only while the test does.
set -euo pipefail
test_program=$1 prefix=$2
bin_dir=$(cd "$(dirname "$test_program")" && pwd)
export WINEPREFIX=$prefix
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-env"

trees=$(mktemp -d)
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -f "$prefix/dosdevices/d:" "$prefix/dosdevices/e:" "$prefix/dosdevices/x:"
  rm -rf "$trees"
}
trap cleanup EXIT

start_server() {
  setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 &
  wine_wait_for_server
}
stop_server() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
}

# The drive types, once per prefix: the registry keeps them.
if [ ! -f "$prefix/drive-types-set" ]; then
  mkdir -p "$prefix"
  start_server
  [ -f "$prefix/system.reg" ] || "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1 || true
  for drive in d: e: x:; do "$WINELOADER" reg delete 'HKLM\Software\Wine\Drives' /v $drive /f >/dev/null 2>&1 || true; done
  "$WINELOADER" reg add 'HKLM\Software\Wine\Drives' /v d: /d hd /f >/dev/null
  "$WINELOADER" reg add 'HKLM\Software\Wine\Drives' /v e: /d cdrom /f >/dev/null
  "$WINELOADER" reg add 'HKLM\Software\Wine\Drives' /v x: /d network /f >/dev/null
  stop_server
  touch "$prefix/drive-types-set"
fi

# Only C: (the prefix's own drive_c) stays; the mount manager reads the links at start.
mkdir -p "$trees/fixed" "$trees/cdrom"
ln -s "$trees/fixed" "$trees/fixed/loop"
ln -s "$trees/cdrom" "$trees/fixed/cdrom-link"
find "$prefix/dosdevices" -mindepth 1 -maxdepth 1 ! -name 'c:' ! -name 'com*' -exec rm -f {} +
ln -s "$trees/fixed" "$prefix/dosdevices/d:"
ln -s "$trees/cdrom" "$prefix/dosdevices/e:"
ln -s "$bin_dir" "$prefix/dosdevices/x:"

start_server
cd "$bin_dir"
SETRIX_DRIVE_WALK_PREFIX=1 "$WINELOADER" "./$(basename "$test_program")" --gtest_filter='DriveWalk.*'
