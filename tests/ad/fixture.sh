# fixture.sh -- sourced by the scripts that use the domain controller of
# dc.sh (check.sh, run.sh). Sets DC (the path of dc.sh) and HOSTKIT_AD_DIR
# (default build/ad), and defines
#
#   ad_fixture SKIPPED FAILED
#
# which makes sure the fixture runs (starting it when none does, and then
# stopping it when the calling script exits) and reads its variables
# (fixture.env) into the environment. Where the fixture cannot run on this
# machine it prints the reason and the line SKIPPED and exits 0; when it
# fails to start it prints the end of its log and the line FAILED and exits 1.
# shellcheck shell=bash

DC=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/dc.sh
export HOSTKIT_AD_DIR=${HOSTKIT_AD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/ad}

ad_fixture() {
  local skipped=$1 failed=$2 rc
  if ! "$DC" status >/dev/null 2>&1; then
    "$DC" start >"$HOSTKIT_AD_DIR.start.log" 2>&1
    rc=$?
    if [ "$rc" = 77 ]; then
      grep 'skip:' "$HOSTKIT_AD_DIR.start.log" | tail -1
      echo "$skipped"; exit 0
    elif [ "$rc" != 0 ]; then
      tail -30 "$HOSTKIT_AD_DIR.start.log"
      echo "$failed"; exit 1
    fi
    trap '"$DC" stop >/dev/null 2>&1' EXIT
  fi
  set -a
  # shellcheck disable=SC1091
  . "$HOSTKIT_AD_DIR/fixture.env"
  set +a
}
