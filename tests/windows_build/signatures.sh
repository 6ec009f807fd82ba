#!/usr/bin/env bash
# The test signatures of the Windows build (tools/windows-sign.sh, `make windows-sign`): each signed copy in
# WINDOWS_BUILD_DIR/signed verifies against the build's test root and is the build's current file, the
# certificate in it is one Windows takes for code signing, and a verification that should fail does: a flipped
# byte of the image, a flipped byte of the signature, and a root of the same name with another key.
#
# Usage: signatures.sh WINDOWS_BUILD_DIR OUT_DIR
#   OUT_DIR receives the tampered copies and each verification's output.
# Exit status: 0 passed, 1 failed, 77 skipped (no osslsigncode or openssl, or no Windows build to check).
set -uo pipefail

BUILD=$1
OUT=$2
FILES=(KELVORANT.sys kelvorant.exe)

skip() { echo "SKIPPED: $*"; exit 77; }
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || skip "$tool is not installed (Debian: $tool; make windows-sign installs it)"
done
for f in "${FILES[@]}"; do
  [ -f "$BUILD/$f" ] || skip "no Windows build in $BUILD (make windows-sign builds and signs one)"
done
ROOT=$BUILD/signing/root.pem
[ -f "$ROOT" ] || { echo "FAILED: $BUILD is not signed: no $ROOT (make windows-sign)"; exit 1; }

rm -rf "$OUT"
mkdir -p "$OUT"

# verify NAME FILE CA: runs osslsigncode verify; its output is left in OUT/NAME.txt, its status returned.
verify() {
  osslsigncode verify -CAfile "$3" -in "$2" >"$OUT/$1.txt" 2>&1
}
# flip_byte FILE OFFSET: inverts one byte in place.
flip_byte() {
  local b
  b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf '%b' "\\$(printf '%03o' $((b ^ 0xff)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
# The Authenticode digest that a verification reports as the file's own (SHA-256 over the image).
digest_of() { sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p' "$1"; }

# A root with the test root's name and a key of its own: it signs nothing of the build.
ROOT_SUBJECT=$(openssl x509 -in "$ROOT" -noout -subject -nameopt compat | sed 's/^subject=//')
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$OUT/other-root.key" -out "$OUT/other-root.pem" \
  -subj "$ROOT_SUBJECT" -days 1 >/dev/null 2>&1 ||
  { echo "FAILED: openssl cannot make a certificate"; exit 1; }

for f in "${FILES[@]}"; do
  signed=$BUILD/signed/$f
  if [ ! -f "$signed" ]; then
    fail "$f: no signed copy in $BUILD/signed (make windows-sign)"
    continue
  fi

  # Signed under the test root: SHA-256 digest and page hashes, no mismatch of digest or PE checksum.
  # (A copy that does not verify at all ends this file's checks: the rest would only repeat it.)
  if ! verify "$f.signed" "$signed" "$ROOT"; then
    fail "$f: the signature does not verify against $ROOT:"; cat "$OUT/$f.signed.txt"
    continue
  elif ! grep -q '^Message digest algorithm *: SHA256' "$OUT/$f.signed.txt" ||
       ! grep -q '^Page hash algorithm *: SHA256' "$OUT/$f.signed.txt"; then
    fail "$f: no SHA-256 digest with page hashes:"; cat "$OUT/$f.signed.txt"
  elif grep -qE 'MISMATCH|invalid PE checksum' "$OUT/$f.signed.txt"; then
    fail "$f: verified with a mismatch:"; grep -E 'MISMATCH|invalid PE checksum' "$OUT/$f.signed.txt"
  else
    pass "$f: $(grep -m1 '^Signature verification' "$OUT/$f.signed.txt"), SHA-256 with page hashes, signer" \
         "$(grep -m1 'Subject:' "$OUT/$f.signed.txt" | sed 's/.*Subject: *//')"
  fi

  # The signed copy is of the build's current file: the same file signed under the other root carries the
  # same digest. A relink after the signing leaves a stale copy, and this says so.
  osslsigncode sign -certs "$OUT/other-root.pem" -key "$OUT/other-root.key" -h sha256 -ph \
    -in "$BUILD/$f" -out "$OUT/$f.current" >/dev/null 2>&1
  verify "$f.current" "$OUT/$f.current" "$OUT/other-root.pem"
  current=$(digest_of "$OUT/$f.current.txt")
  ours=$(digest_of "$OUT/$f.signed.txt")
  if [ -z "$current" ] || [ "$current" != "$ours" ]; then
    fail "$f: the signed copy is not of $BUILD/$f (digest ${ours:-none}, the build's ${current:-none}):" \
         "make windows-sign"
  else
    pass "$f: the signed copy is of the build's file (digest $current)"
  fi

  # The signer as Windows needs it: a code-signing certificate that is no CA, RSA of 2048 bits or more,
  # signed with SHA-256 by the root.
  osslsigncode extract-signature -pem -in "$signed" -out "$OUT/$f.p7.pem" >/dev/null 2>&1
  openssl pkcs7 -in "$OUT/$f.p7.pem" -print_certs 2>/dev/null |
    openssl x509 -noout -text >"$OUT/$f.signer.txt" 2>&1
  bits=$(sed -n 's/.*Public-Key: (\([0-9]*\) bit).*/\1/p' "$OUT/$f.signer.txt")
  missing=""
  for want in 'Code Signing' 'CA:FALSE' 'Digital Signature' 'Signature Algorithm: sha256WithRSAEncryption'; do
    grep -q "$want" "$OUT/$f.signer.txt" || missing="$missing, no $want"
  done
  [ "${bits:-0}" -ge 2048 ] || missing="$missing, a key of ${bits:-no} bits"
  if [ -n "$missing" ]; then
    fail "$f: the signer's certificate${missing#,}"
  else
    pass "$f: signer with Code Signing, CA:FALSE, RSA $bits, SHA-256"
  fi

  # Verifications that must fail, each for its own reason (not merely a file that cannot be read).
  size=$(stat -c %s "$BUILD/$f")
  signed_size=$(stat -c %s "$signed")
  # name | byte flipped in the copy (none: the copy as signed) | root trusted | what the output must say
  while IFS='|' read -r name offset ca reason; do
    copy=$OUT/$f.$name
    cp "$signed" "$copy"
    [ "$offset" = none ] || flip_byte "$copy" "$offset"
    if verify "$f.$name" "$copy" "$ca"; then
      fail "$f: $name: verifies"
    elif ! grep -q "$reason" "$OUT/$f.$name.txt"; then
      fail "$f: $name: fails, but not with \"$reason\":"; cat "$OUT/$f.$name.txt"
    else
      pass "$f: $name: fails ($reason)"
    fi
  done <<EOF
image-byte-flipped|$((size / 2))|$ROOT|message digest.*MISMATCH
signature-byte-flipped|$((signed_size - 64))|$ROOT|signature failure
other-root|none|$OUT/other-root.pem|unable to get local issuer certificate
EOF
done

# What goes to the Windows machine holds no private key; the signer's key stays in signing/, for us alone.
if grep -l 'PRIVATE KEY' "$BUILD"/signed/* 2>/dev/null; then
  fail "a private key in $BUILD/signed"
fi
key_mode=$(stat -c %a "$BUILD/signing/signer.key" 2>/dev/null)
folder_mode=$(stat -c %a "$BUILD/signing" 2>/dev/null)
if [ "$key_mode" != 600 ] || [ "$folder_mode" != 700 ]; then
  fail "the signer's key is mode ${key_mode:-missing} in a folder of mode $folder_mode (want 600 in 700)"
else
  pass "the signer's key is mode 600 in signing/ (700), and signed/ holds no key"
fi

[ "$failures" -eq 0 ] || { echo "FAILED: $failures check(s)"; exit 1; }
echo "PASSED: the test signatures of KELVORANT.sys and kelvorant.exe"
