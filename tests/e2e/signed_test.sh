#!/usr/bin/env bash
# Signed manifests through nginx, end to end with ombrix-pack, ombrix-get and
# pellor-update: a signed package downloads byte-exact with the trust key, and the
# updater downloads and launches it (and refuses it under another key); a manifest changed by one
# byte, a signature by another key, the signature of another version, a missing
# signature and a replayed older "current" are each refused (content unavailable,
# 1) with nothing written and the reason in the work log; an explicitly asked
# older version still downloads; without a key an unsigned package downloads as
# it always did.
#   signed_test.sh OMBRIX_PACK OMBRIX_GET PELLOR_UPDATE
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
fail() { echo "signed: FAILED: $*" >&2; exit 1; }

if [ "${1:-}" = "--inside" ]; then
  get="$2" work="$3" pack="$4" updater="$5"
  read -r -a ports <<<"$NGINX_PORTS"
  host="127.0.0.1:${ports[0]}"
  man="$work/www/manifests/K"
  "$pack" nodes --partner P --out "$work/www" "$host" >/dev/null
  fetch() { "$get" --quiet --host "$host" --geolocation "http://$host/geo.json" P K "$@"; }
  n=0
  # refused WHY: the current version is refused, nothing is written, WHY is logged.
  refused() {
    n=$((n + 1))
    local status=0
    fetch "$work/refused$n" || status=$?
    [ "$status" = 1 ] || fail "$1: ended with $status, not 1 (content unavailable)"
    [ ! -e "$work/refused$n" ] || [ -z "$(find "$work/refused$n" -type f)" ] || fail "$1: files were written"
    grep -rqF "$2" "$work/user" || fail "$1: the log does not say \"$2\""
  }
  export OMBRIX_TRUST_KEY_FILE="$work/keys/a.pub"

  fetch "$work/dest" || fail "the signed download ended with $?"
  diff -r "$work/src2" "$work/dest" >/dev/null || fail "the signed download differs"

  # The updater, pointed at this server by its string table: K with skin S.
  printf '102=%s\n103=P\n104=P\n105=K\n107=S\n108=K\n109=Signed\n110=Signed\n' "$host" >"$work/strings.txt"
  status=0
  PELLOR_STRING_TABLE="$work/strings.txt" OMBRIX_TRUST_KEY_FILE="$work/keys/b.pub" "$updater" \
    >"$work/updater.out" 2>&1 </dev/null || status=$?
  [ "$status" = 1 ] && [ ! -e "$work/launched" ] || fail "the updater under another key ended with $status"
  PELLOR_STRING_TABLE="$work/strings.txt" "$updater" >"$work/updater.out" 2>&1 </dev/null ||
    fail "the updater ended with $?: $(cat "$work/updater.out")"
  [ -e "$work/launched" ] || fail "the updater did not launch the signed application"

  cp "$man/current.xml" "$work/good.xml"
  sed -i '0,/<name>K<\/name>/s//<name>k<\/name>/' "$man/current.xml"
  refused "a manifest changed by one byte" "do not match the SHA-256"
  cp "$work/good.xml" "$man/current.xml"

  cp "$man/current.xml.sig" "$work/good.sig"
  cp "$work/other.sig" "$man/current.xml.sig"
  refused "a signature by another key" "does not verify"
  cp "$man/1.xml.sig" "$man/current.xml.sig"
  refused "the signature of another version" "do not match the SHA-256"
  rm "$man/current.xml.sig"
  refused "a missing signature" "no signature document"

  cp "$man/1.xml" "$man/current.xml"
  cp "$man/1.xml.sig" "$man/current.xml.sig"
  refused "a replayed older current version" "older than publication 20"
  fetch 1 "$work/old" || fail "the explicitly asked older version ended with $?"
  diff -r "$work/src1" "$work/old" >/dev/null || fail "the older version differs"

  rm "$man/current.xml.sig"
  unset OMBRIX_TRUST_KEY_FILE
  fetch "$work/unsigned" || fail "without a key the unsigned package ended with $?"
  diff -r "$work/src1" "$work/unsigned" >/dev/null || fail "the unsigned download differs"
  echo "signed: accepted, refused and unchanged as it should"
  exit 0
fi

pack="$1" get="$2"
unset DISPLAY WAYLAND_DISPLAY  # the updater on plain lines
if ! command -v nginx >/dev/null && [ ! -x /usr/sbin/nginx ]; then echo "signed: no nginx; skipped"; exit 77; fi
work="$(mktemp -d "${TMPDIR:-/tmp}/ombrix-signed.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src1/bin" "$work/src2/bin" "$work/user"
head -c 300000 /dev/urandom >"$work/src1/bin/app"
mkdir -p "$work/skin"
printf '#!/bin/sh\necho launched >"%s/launched"\n' "$work" >"$work/src2/bin/app"
chmod +x "$work/src2/bin/app"
echo "The skin." >"$work/skin/skin.txt"
head -c 70000 /dev/urandom >"$work/src2/data.bin"
"$pack" keygen --out "$work/keys" --name a >/dev/null
"$pack" keygen --out "$work/keys" --name b >/dev/null
[ "$(stat -c %a "$work/keys/a.key")" = 600 ] || fail "the private key is not 0600"
publish() {  # VERSION SOURCE KEY SERIAL OUT
  "$pack" package --partner P --package K --version "$1" --from "$2" --out "$5" --chunk-size 65536 --run bin/app \
    --sign "$work/keys/$3.key" --serial "$4" >/dev/null
}
publish 2 "$work/src2" b 20 "$work/other"
cp "$work/other/manifests/K/current.xml.sig" "$work/other.sig"
publish 1 "$work/src1" a 10 "$work/www"
publish 2 "$work/src2" a 20 "$work/www"
"$pack" package --partner P --package S --version 1 --from "$work/skin" --out "$work/www" --run skin.txt \
  --sign "$work/keys/a.key" >/dev/null
echo '{"ip":"192.0.2.1","country_code":"NO"}' >"$work/www/geo.json"
export TMPDIR="$work/user"
"$repo/scripts/nginx-serve" "$work/www" "$0" --inside "$get" "$work" "$pack" "$3"
