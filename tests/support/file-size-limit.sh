#!/usr/bin/env bash
# file-size-limit.sh <bytes> <test program> [argument ...]
# Runs a test program under Wine with no file it writes allowed past <bytes>: the kernel
# refuses such writes (EFBIG, with SIGXFSZ ignored so that the write fails instead of the
# process ending), and Wine's file layer reports the failure as a full disk would be
# reported. The tests see the limit in SETRIX_FILE_SIZE_LIMIT. The Wine server must run
# already (scripts/test starts it): one started under the limit could not save its registry.
set -euo pipefail
limit=$1
shift
export SETRIX_FILE_SIZE_LIMIT=$limit
trap '' XFSZ
exec prlimit --fsize="$limit" -- "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-run" "$@"
