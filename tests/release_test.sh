#!/bin/sh
# The release as an administrator receives it: an optional signature that verifies against the
# signing certificate and leaves the password nowhere, bytes that do not depend on the build folder,
# and a package whose SHA256SUMS checks out.
#   release_test.sh SOURCE-DIR BUILD-DIR   (BUILD-DIR: a built Windows build of SOURCE-DIR)
set -eu
source_dir="$1"
build_dir="$2"
work="$build_dir/release-check"
rm -rf "$work"
mkdir -p "$work"
failures=0
check() {  # check DESCRIPTION COMMAND...
  description="$1"
  shift
  if "$@" >>"$work/log" 2>&1; then
    echo "ok: $description"
  else
    echo "FAILED: $description"
    failures=$((failures + 1))
  fi
}

# The builds run at the lowest CPU priority: the Wine tests may run meanwhile, and some of them
# time what they check.
build() {  # build FOLDER [CMAKE-OPTION...]: a clean build of the release binaries in FOLDER
  folder="$1"
  shift
  cmake -S "$source_dir" -B "$folder" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    "$@" >>"$work/log" 2>&1 &&
    nice -n 19 cmake --build "$folder" --target ombru log_viewer >>"$work/log" 2>&1
}

# A throwaway signing certificate, its key in a PKCS#12 file behind a random password.
password="pw-$(od -An -N12 -tx1 /dev/urandom | tr -d ' \n')"
printf '%s' "$password" >"$work/password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=OMBRU release test" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >>"$work/log" 2>&1
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
  -passout "file:$work/password" >>"$work/log" 2>&1

check "signed build" build "$work/signed" -DOMBRU_SIGNING_CERT="$work/signer.pfx" \
  -DOMBRU_SIGNING_PASSWORD_FILE="$work/password"
for binary in ombru.exe log_viewer.exe; do
  check "$binary verifies against the signing certificate" \
    osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/bin/$binary"
done
check "the password is nowhere in the signed build tree" sh -c \
  "! grep -rqF -- '$password' '$work/signed'"
check "the password is not in the build's output" sh -c "! grep -qF -- '$password' '$work/log'"

# Built again in another folder, without signing options and at another "time": the same bytes
# as the main build.
export SOURCE_DATE_EPOCH=86400
check "unsigned build in another folder, with SOURCE_DATE_EPOCH set" build "$work/unsigned"
unset SOURCE_DATE_EPOCH
for binary in ombru.exe log_viewer.exe; do
  check "$binary: the same bytes from another folder" \
    cmp "$build_dir/bin/$binary" "$work/unsigned/bin/$binary"
  check "$binary: an unsigned build carries no signature" sh -c \
    "! osslsigncode verify -CAfile '$work/cert.pem' -in '$work/unsigned/bin/$binary'"
done

check "package" cmake --build "$build_dir" --target package
mkdir -p "$work/package"
(cd "$work/package" && cmake -E tar xf "$build_dir/ombru-"*"-win64.zip")
check "the package holds ombru.exe, the log viewer, the administrator's reference and SHA256SUMS" \
  sh -c "cd '$work'/package/ombru-*-win64 &&
    test \"\$(LC_ALL=C ls | tr '\n' ' ')\" = 'SHA256SUMS administration.md log_viewer.exe ombru.exe '"
check "the package's SHA256SUMS checks out" sh -c \
  "cd '$work'/package/ombru-*-win64 && sha256sum -c SHA256SUMS"

echo "$failures failed"
[ "$failures" -eq 0 ]
