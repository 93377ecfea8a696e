#!/usr/bin/env bash
# End to end through the tools: ombrix-pack publishes, Debian's nginx serves three
# content nodes on loopback, ombrix-get downloads, verifies and resumes.
#   e2e_test.sh OMBRIX_PACK OMBRIX_GET
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

fail() { echo "e2e: FAILED: $*" >&2; exit 1; }

if [ "${1:-}" = "--inside" ]; then
  pack="$2" get="$3" work="$4"
  read -r -a ports <<<"$NGINX_PORTS"
  www="$work/www"
  host="127.0.0.1:${ports[0]}"
  run_get() { "$get" --quiet --host "$host" --geolocation "http://$host/geo.json" "$@"; }
  requests() { cat "$NGINX_ACCESS_LOGS"/*.log 2>/dev/null | grep -c " /P/$1/" || true; }

  # A node that is down (nothing listens on port 1) is in every list.
  "$pack" nodes --partner P --out "$www" "127.0.0.1:${ports[0]}" "127.0.0.1:${ports[1]}" "127.0.0.1:${ports[2]}" \
    127.0.0.1:1 >/dev/null
  echo '{"ip":"192.0.2.1","country_code":"NO"}' >"$www/geo.json"

  echo "e2e: several files download byte-exact, with a node down"
  run_get P K "$work/dest" || fail "download ended with $?"
  diff -r "$work/src" "$work/dest" >/dev/null || fail "the download differs from the source"
  [ -x "$work/dest/bin/run.sh" ] || fail "the run file is not executable"

  echo "e2e: a second run checks and downloads nothing"
  before="$(requests K)"
  run_get P K "$work/dest" || fail "second run ended with $?"
  [ "$(requests K)" = "$before" ] || fail "the second run sent $(($(requests K) - before)) requests"
  run_get --verify P K "$work/dest" || fail "verification of a good install ended with $?"

  echo "e2e: a corrupted chunk is fetched again alone"
  printf 'X' | dd of="$work/dest/data/big.bin" bs=1 seek=200000 conv=notrunc 2>/dev/null
  status=0; run_get --verify P K "$work/dest" || status=$?
  [ "$status" = 6 ] || fail "verification of a corrupted file ended with $status, not 6"
  before="$(requests K)"
  run_get P K "$work/dest" || fail "repair ended with $?"
  [ "$(($(requests K) - before))" = 1 ] || fail "the repair sent $(($(requests K) - before)) requests, not 1"
  cmp -s "$work/src/data/big.bin" "$work/dest/data/big.bin" || fail "the repaired file differs"

  echo "e2e: a package not offered in the answered country ends with Geofence and writes nothing"
  status=0; run_get P G "$work/geo" || status=$?
  [ "$status" = 10 ] || fail "the geofenced download ended with $status, not 10"
  [ ! -e "$work/geo" ] || [ -z "$(ls -A "$work/geo")" ] || fail "the geofenced download wrote files"

  echo "e2e: interrupted downloads (SIGINT, then SIGKILL at random moments) resume byte-exact"
  "$get" --quiet --host "$host" --geolocation "http://$host/geo.json" P L "$work/long" &
  pid=$!
  sleep 0.5
  kill -INT "$pid" 2>/dev/null || true
  status=0; wait "$pid" || status=$?
  [ "$status" = 20 ] || [ "$status" = 0 ] || fail "an interrupted download ended with $status"
  for _ in 1 2 3; do
    "$get" --quiet --host "$host" --geolocation "http://$host/geo.json" P L "$work/long" &
    pid=$!
    sleep "0.$((RANDOM % 6 + 2))"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  run_get P L "$work/long" || fail "the resumed download ended with $?"
  cmp -s "$work/src-long/long.bin" "$work/long/long.bin" || fail "the resumed file differs"
  echo "e2e: all passed"
  exit 0
fi

pack="$1" get="$2"
if ! command -v nginx >/dev/null && [ ! -x /usr/sbin/nginx ]; then
  echo "e2e: nginx is not installed (scripts/install-deps); skipped"
  exit 77
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/ombrix-e2e.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/bin" "$work/src/data/sub" "$work/src-long" "$work/src-geo" "$work/user"
printf '#!/bin/sh\necho run\n' >"$work/src/bin/run.sh"
: >"$work/src/data/empty.dat"
head -c 2000000 /dev/urandom >"$work/src/data/big.bin"
head -c 70000 /dev/urandom >"$work/src/data/sub/small.bin"
head -c 24000000 /dev/urandom >"$work/src-long/long.bin"
echo "not here" >"$work/src-geo/file.txt"
"$pack" package --partner P --package K --version 1 --from "$work/src" --out "$work/www" --run bin/run.sh \
  --chunk-size 65536 >/dev/null
"$pack" package --partner P --package L --version 1 --from "$work/src-long" --out "$work/www" --chunk-size 4096 >/dev/null
"$pack" package --partner P --package G --version 1 --from "$work/src-geo" --out "$work/www" --blacklist NO,SE >/dev/null
echo "e2e: ombrix-pack refuses what the service would refuse and writes nothing"
mkdir -p "$work/bad"
printf 'x' >"$work/bad/$(printf 'line\nbreak')"
status=0; "$pack" package --partner P --package X --version 1 --from "$work/bad" --out "$work/www" 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "a control character in a name ended with $status, not 1"
[ ! -e "$work/www/manifests/X" ] && [ ! -e "$work/www/P/X" ] || fail "a refused package wrote files"
status=0; "$pack" package --partner P --package X --version 1 --from "$work/src" --out "$work/www" --run missing \
  2>/dev/null || status=$?
[ "$status" = 1 ] || fail "a missing run file ended with $status, not 1"

export NGINX_ACCESS_LOGS="$work/access" TMPDIR="$work/user"
"$repo/scripts/nginx-serve" --count 3 "$work/www" "$0" --inside "$pack" "$get" "$work"
