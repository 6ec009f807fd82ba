#!/usr/bin/env bash
# Test-signs the Windows build: Authenticode signatures (SHA-256, with page hashes) on KELVORANT.sys and
# kelvorant.exe, made with osslsigncode under a test certificate of this build folder, each checked with
# `osslsigncode verify` against that certificate's root.
#
# Usage: tools/windows-sign.sh WINDOWS_BUILD_DIR
#   WINDOWS_BUILD_DIR/signing/  the test certificate, made on first use (mode 0700; the signer's key never
#                               leaves it)
#     root.pem, root.cer        the test root (PEM for osslsigncode, DER for Windows' certificate stores)
#     signer.pem, signer.cer    the signing certificate that the root issued
#     signer.key                its private key (mode 0600)
#   WINDOWS_BUILD_DIR/signed/   what goes to the Windows machine: the signed kelvorant.exe and KELVORANT.sys
#                               side by side, and root.cer and signer.cer to import there
# The linker's files in WINDOWS_BUILD_DIR stay unsigned: every run signs them afresh, so a relink never leaves
# a stale signature behind, and the same certificate is reused as long as it stays valid.
#
# The certificate is a root and one signer, not one self-signed certificate: the signer is never a trust
# anchor, so the verification builds a real chain as a production signature's does. The root may issue
# only code-signing certificates, one level deep (extended key usage codeSigning, path length 0; Windows
# treats an issuer's key usages as a limit on what it issues), and its key is deleted as soon as it has
# issued the signer: the root that a user adds to a machine's trusted roots can vouch for nothing else.
set -euo pipefail

FILES=(KELVORANT.sys kelvorant.exe)
VALID_DAYS=1095            # the root and the signer expire together: a new pair is a new root to import
RENEW_SECONDS=$((30 * 86400))
KEY_BITS=3072
ROOT_SUBJECT="/O=kelvorant/OU=test signing only/CN=kelvorant test root"
SIGNER_SUBJECT="/O=kelvorant/OU=test signing only/CN=kelvorant test signer"

fail() { echo "kelvorant: windows-sign: $*" >&2; exit 1; }

[ $# -eq 1 ] || fail "usage: tools/windows-sign.sh WINDOWS_BUILD_DIR"
BUILD=$1
for tool in osslsigncode openssl; do
  command -v $tool >/dev/null || fail "$tool is not installed (make windows-sign installs it)"
done
[ -d "$BUILD" ] || fail "$BUILD: no such folder (make windows builds it)"
for f in "${FILES[@]}"; do
  if [ ! -f "$BUILD/$f" ] || [ -L "$BUILD/$f" ]; then
    fail "$BUILD/$f: not a file of the build (make windows builds it)"
  fi
done

# A folder of our own that no other user can swap or fill; signing/ holds the private key, so nobody else
# may enter it either.
own_folder() {
  local dir=$1 mode=$2
  [ -L "$dir" ] && fail "$dir: a link where a folder is expected"
  mkdir -p "$dir"
  [ -d "$dir" ] || fail "$dir: not a folder"
  [ "$(stat -c %u "$dir")" = "$(id -u)" ] || fail "$dir: owned by another user"
  chmod "$mode" "$dir"
}
SIGNING=$BUILD/signing
SIGNED=$BUILD/signed
own_folder "$SIGNING" 700
own_folder "$SIGNED" 755

# The extensions of both certificates; `openssl req` reads its settings from here, not the system's file.
CONFIG=$SIGNING/certificates.cnf
cat >"$CONFIG" <<'EOF'
[req]
distinguished_name = subject
[subject]
[root]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF

# The certificate in hand is kept when the signer chains to the root, matches its key and stays valid for
# another 30 days.
certificate_usable() {
  local f
  for f in root.pem signer.pem signer.key; do
    if [ ! -f "$SIGNING/$f" ] || [ -L "$SIGNING/$f" ]; then return 1; fi
  done
  openssl verify -CAfile "$SIGNING/root.pem" "$SIGNING/signer.pem" >/dev/null 2>&1 || return 1
  openssl x509 -in "$SIGNING/signer.pem" -noout -checkend $RENEW_SECONDS >/dev/null || return 1
  [ "$(openssl x509 -in "$SIGNING/signer.pem" -noout -pubkey)" = \
    "$(openssl pkey -in "$SIGNING/signer.key" -pubout 2>/dev/null)" ]
}

make_certificate() {
  local root_key=$SIGNING/root.key.tmp request=$SIGNING/signer.csr.tmp umask_before
  umask_before=$(umask)
  trap 'rm -f "$root_key" "$request"' EXIT
  umask 077
  rm -f "$SIGNING"/root.* "$SIGNING"/signer.*
  openssl req -config "$CONFIG" -x509 -new -newkey rsa:$KEY_BITS -nodes -keyout "$root_key" -sha256 \
    -days $VALID_DAYS -subj "$ROOT_SUBJECT" -extensions root -out "$SIGNING/root.pem" 2>/dev/null
  openssl req -config "$CONFIG" -new -newkey rsa:$KEY_BITS -nodes -keyout "$SIGNING/signer.key" -sha256 \
    -subj "$SIGNER_SUBJECT" -out "$request" 2>/dev/null
  openssl x509 -req -in "$request" -CA "$SIGNING/root.pem" -CAkey "$root_key" -sha256 -days $VALID_DAYS \
    -set_serial "0x$(openssl rand -hex 16)" -extfile "$CONFIG" -extensions signer \
    -out "$SIGNING/signer.pem" 2>/dev/null
  rm -f "$root_key" "$request"
  trap - EXIT
  umask "$umask_before"
  openssl x509 -in "$SIGNING/root.pem" -outform DER -out "$SIGNING/root.cer"
  openssl x509 -in "$SIGNING/signer.pem" -outform DER -out "$SIGNING/signer.cer"
  echo "kelvorant: a new test certificate in $SIGNING (import root.cer and signer.cer again on Windows)"
}

if ! certificate_usable; then
  make_certificate
fi
chmod 600 "$SIGNING/signer.key"

# Page hashes (-ph) let Code Integrity check each page of an image as it is loaded, which is how the kernel
# checks a driver; the program carries them too, for a policy that checks user-mode images the same way.
# No timestamp: there is no network here, and a test signature needs none.
for f in "${FILES[@]}"; do
  rm -f "$SIGNED/$f.tmp"
  osslsigncode sign -certs "$SIGNING/signer.pem" -key "$SIGNING/signer.key" -h sha256 -ph \
    -n "kelvorant (test signed)" -in "$BUILD/$f" -out "$SIGNED/$f.tmp" >"$SIGNING/sign.log" 2>&1 ||
    { cat "$SIGNING/sign.log" >&2; rm -f "$SIGNED/$f.tmp"; fail "$BUILD/$f cannot be signed"; }
  osslsigncode verify -CAfile "$SIGNING/root.pem" -in "$SIGNED/$f.tmp" >"$SIGNING/verify.log" 2>&1 ||
    { cat "$SIGNING/verify.log" >&2; rm -f "$SIGNED/$f.tmp"; fail "the signature of $f does not verify"; }
  chmod 644 "$SIGNED/$f.tmp"
  mv -f "$SIGNED/$f.tmp" "$SIGNED/$f"
  echo "kelvorant: $SIGNED/$f: $(grep -m1 'Signature verification' "$SIGNING/verify.log")"
done
rm -f "$SIGNING/sign.log" "$SIGNING/verify.log"
install -m 644 "$SIGNING/root.cer" "$SIGNING/signer.cer" "$SIGNED/"
