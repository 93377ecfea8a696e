#!/usr/bin/env bash
# Twenty rounds of: a fresh download killed (SIGKILL) at a random moment, then the
# same command again to the end. Each round ends byte-exact with nothing stray in
# the destination, and every record a killed run left is whole. The seed is
# printed; RELIABILITY_SEED repeats a run.
#   kill_resume_test.sh OMBRIX_PACK OMBRIX_GET
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
seed="${RELIABILITY_SEED:-$(date +%s%N | tail -c 6)}"
fail() { echo "kill-resume: FAILED (seed $seed): $*" >&2; exit 1; }

if [ "${1:-}" = "--inside" ]; then
  get="$2" work="$3"
  read -r -a ports <<<"$NGINX_PORTS"
  host="127.0.0.1:${ports[0]}"
  RANDOM="$seed"
  for round in $(seq 1 20); do
    rm -rf "$work/dest"
    "$get" --quiet --host "$host" --geolocation "http://$host/geo.json" P K "$work/dest" &
    pid=$!
    # 10 to 400 ms: before, during and at the end of the payload writes.
    sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.3f", 0.01 + (r % 390) / 1000 }')"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    "$get" --quiet --host "$host" --geolocation "http://$host/geo.json" P K "$work/dest" ||
      fail "round $round: the resume ended with $?"
    diff -r "$work/src" "$work/dest" >/dev/null ||
      fail "round $round: the destination differs from the source (or holds stray files)"
  done
  for record in "$work/user/Farrowgate/Ombrix/transfers"/*; do
    [ -e "$record" ] || continue
    name="${record##*/}"
    [[ "$name" =~ ^[0-9a-f]{32}\.json$ ]] || fail "stray file in the records folder: $name"
    grep -q '"destPath":"'"$work/dest"'"}$' "$record" || fail "torn record $name"
  done
  echo "kill-resume: 20 kills, each resumed byte-exact (seed $seed)"
  exit 0
fi

pack="$1" get="$2"
if ! command -v nginx >/dev/null && [ ! -x /usr/sbin/nginx ]; then
  echo "kill-resume: nginx is not installed (scripts/install-deps); skipped"
  exit 77
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/ombrix-kill.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/a/b" "$work/user"
head -c 5000000 /dev/urandom >"$work/src/a/one.bin"
head -c 3000000 /dev/urandom >"$work/src/a/b/two.bin"
head -c 5000 /dev/urandom >"$work/src/three.bin"
"$pack" package --partner P --package K --version 1 --from "$work/src" --out "$work/www" --chunk-size 4096 >/dev/null
"$pack" nodes --partner P --out "$work/www" 127.0.0.1:1 >/dev/null  # replaced below with the real ports
echo '{"ip":"192.0.2.1","country_code":"NO"}' >"$work/www/geo.json"
export TMPDIR="$work/user"
"$repo/scripts/nginx-serve" --count 2 "$work/www" bash -c \
  'read -r -a p <<<"$NGINX_PORTS"; "$0" nodes --partner P --out "$1/www" "127.0.0.1:${p[0]}" "127.0.0.1:${p[1]}" >/dev/null && exec "$2" --inside "$3" "$1"' \
  "$pack" "$work" "$0" "$get"
