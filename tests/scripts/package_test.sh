#!/usr/bin/env bash
# Runs scripts/package in a copy of the tree whose build folder still holds an older version's
# archives, with a cmake on PATH that builds a release as CMake leaves one: the project version in
# the cache, the program, and the archive named after both. Only the version built may reach dist/.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/scripts" "$work/bin"
cp "$repo/scripts/package" "$work/tree/scripts/"
cat >"$work/bin/cmake" <<'FAKE'
#!/usr/bin/env bash
out=build/package/${3#release-}
mkdir -p "$out" && echo 'CMAKE_PROJECT_VERSION:STATIC=2.1.0' >"$out/CMakeCache.txt"
touch "$out/wtsscope.exe" "$out/wtsscope-2.1.0-${3#release-}.zip"
FAKE
chmod +x "$work/bin/cmake"
for arch in win32 win64; do
    mkdir -p "$work/tree/build/package/$arch"
    touch "$work/tree/build/package/$arch/wtsscope-2.0.9-$arch.zip"
done
cd "$work/tree"
export PATH=$work/bin:$PATH WTS_PACKAGE_DEPS_DONE=1 SOURCE_DATE_EPOCH=1
if ! scripts/package >"$work/out" 2>&1; then
    cat "$work/out"
    echo "FAILED: scripts/package did not finish"
    exit 1
fi
shipped=$(find dist -name '*.zip' -printf '%f\n' | LC_ALL=C sort)
summed=$(awk '/zip$/ { print $2 }' dist/SHA256SUMS)
expected=$'wtsscope-2.1.0-win32.zip\nwtsscope-2.1.0-win64.zip'
if [[ $shipped != "$expected" || $summed != "$shipped" ]]; then
    echo "FAILED: dist/ holds ${shipped//$'\n'/ }; SHA256SUMS names ${summed//$'\n'/ }"
    exit 1
fi
echo "passed: only the version built reaches dist/ and SHA256SUMS"
