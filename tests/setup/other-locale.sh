#!/usr/bin/env bash
# other-locale.sh <test program> <prefix folder> <locale> <test filter>
# Runs the chosen tests under another locale, in a Wine prefix of their own: Wine writes a
# process's locale into the prefix's registry, where every other process of the prefix
# would read it. The prefix is created on the first run and kept; its server runs only
# while the tests do. The tests see the locale in SETRIX_OTHER_LOCALE.
set -euo pipefail
test_program=$1 prefix=$2 locale=$3 filter=$4
bin_dir=$(cd "$(dirname "$test_program")" && pwd)
export WINEPREFIX=$prefix
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-env"
export LC_ALL=$locale

trap '"$WINESERVER" -k >/dev/null 2>&1 || true' EXIT
mkdir -p "$prefix"
setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 &
wine_wait_for_server
[ -f "$prefix/system.reg" ] || "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1 || true
cd "$bin_dir"
SETRIX_OTHER_LOCALE=$locale "$WINELOADER" "./$(basename "$test_program")" --gtest_filter="$filter"
