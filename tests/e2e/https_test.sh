#!/usr/bin/env bash
# Manifests and chunks over https from nginx with a self-signed certificate: with the
# certificate named by OMBRIX_CA_BUNDLE the download completes byte-exact; without
# it the connection is refused (Network, 2) and nothing is written.
#   https_test.sh OMBRIX_PACK OMBRIX_GET
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
fail() { echo "https: FAILED: $*" >&2; exit 1; }

if [ "${1:-}" = "--inside" ]; then
  get="$2" work="$3" pack="$4"
  read -r -a ports <<<"$NGINX_PORTS"
  host="127.0.0.1:${ports[0]}"
  "$pack" nodes --partner P --out "$work/www" "$host" >/dev/null
  export OMBRIX_HTTPS=1
  status=0
  "$get" --quiet --host "$host" --geolocation "https://$host/geo.json" P K "$work/refused" || status=$?
  [ "$status" = 2 ] || fail "an unknown certificate ended with $status, not 2"
  [ ! -e "$work/refused" ] || [ -z "$(find "$work/refused" -type f)" ] || fail "files written over an untrusted connection"
  OMBRIX_CA_BUNDLE="$work/cert.pem" "$get" --quiet --host "$host" --geolocation "https://$host/geo.json" P K \
    "$work/dest" || fail "the https download ended with $?"
  diff -r "$work/src" "$work/dest" >/dev/null || fail "the https download differs"
  echo "https: verified and refused as it should"
  exit 0
fi

pack="$1" get="$2"
if ! command -v nginx >/dev/null && [ ! -x /usr/sbin/nginx ]; then echo "https: no nginx; skipped"; exit 77; fi
command -v openssl >/dev/null || { echo "https: no openssl; skipped"; exit 77; }
work="$(mktemp -d "${TMPDIR:-/tmp}/ombrix-https.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/user"
head -c 300000 /dev/urandom >"$work/src/data.bin"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
"$pack" package --partner P --package K --version 1 --from "$work/src" --out "$work/www" --chunk-size 65536 >/dev/null
echo '{"ip":"192.0.2.1","country_code":"NO"}' >"$work/www/geo.json"
export TMPDIR="$work/user" NGINX_SSL_CERT="$work/cert.pem" NGINX_SSL_KEY="$work/key.pem"
"$repo/scripts/nginx-serve" "$work/www" "$0" --inside "$get" "$work" "$pack"
