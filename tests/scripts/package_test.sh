#!/usr/bin/env bash
# Runs scripts/package in a copy of the tree whose build folder still holds the archives of an
# older version, with a cmake on PATH that builds a release as CMake leaves one: the project's
# version in the cache, the program, and the archive named after both. Only the archives of the
# version built may reach dist/ and SHA256SUMS. Needs no toolchain and changes nothing outside its
# folder.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
mkdir -p "$tree/scripts" "$work/bin"
cp "$repo/scripts/package" "$tree/scripts/"

cat >"$work/bin/cmake" <<'FAKE'
#!/usr/bin/env bash
[[ $# == 4 && $1 == --workflow && $2 == --preset && $3 == release-win* && $4 == --fresh ]] || exit 1
arch=${3#release-}
out=build/package/$arch
mkdir -p "$out"
echo 'CMAKE_PROJECT_VERSION:STATIC=2.1.0' >"$out/CMakeCache.txt"
echo "$arch program" >"$out/wtsscope.exe"
echo "$arch 2.1.0" >"$out/wtsscope-2.1.0-$arch.zip"
FAKE
chmod +x "$work/bin/cmake"
for arch in win32 win64; do
    mkdir -p "$tree/build/package/$arch"
    echo "$arch 2.0.9" >"$tree/build/package/$arch/wtsscope-2.0.9-$arch.zip"
done

if ! (cd "$tree" && PATH=$work/bin:$PATH WTS_PACKAGE_DEPS_DONE=1 SOURCE_DATE_EPOCH=1 \
        scripts/package) >"$work/out" 2>&1; then
    echo "FAILED: scripts/package did not finish"
    cat "$work/out"
    exit 1
fi
expected='SHA256SUMS
win32/wtsscope.exe
win64/wtsscope.exe
wtsscope-2.1.0-win32.zip
wtsscope-2.1.0-win64.zip'
found=$(cd "$tree/dist" && find . -type f -printf '%P\n' | LC_ALL=C sort)
summed=$(awk '{ print $2 }' "$tree/dist/SHA256SUMS" | LC_ALL=C sort)
if [[ $found != "$expected" || $summed != "$(grep -vx SHA256SUMS <<<"$expected")" ]]; then
    echo "FAILED: dist/ is not the release of the version built"
    echo "dist/ holds: ${found//$'\n'/ }"
    echo "SHA256SUMS names: ${summed//$'\n'/ }"
    exit 1
fi
echo "passed: only the archives of the version built reach dist/ and SHA256SUMS"
