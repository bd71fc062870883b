#!/usr/bin/env bash
# Runs scripts/deps against a made-up machine: its files under a temporary root (WTS_ROOT), and
# on PATH an apt-get, dpkg, sudo, sleep, mount and update-binfmts that only write down what they
# are asked. The apt-get fails as a Debian mirror did in the middle of a sync: `update` stops on
# the security archive's i386 index, a plain install finds no installable i386 libraries, and
# resolving against the release's own archive removes wine64 unless it is named. Needs no root
# and changes nothing outside its folder.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

# The packages and the files deps looks for, as deps lists them.
sed -n '/^checks=(/,/^)/p' "$repo/scripts/deps" |
    awk 'NF == 2 && $1 !~ /^#/ { gsub("\047", "", $2); print }' >"$work/table"
(( $(wc -l <"$work/table") > 15 )) || { echo "could not read the table of scripts/deps" >&2; exit 1; }

cat >"$work/fake" <<'EOF'
#!/usr/bin/env bash
root=${WTS_ROOT:?}
echo "${0##*/} $*" >>"$root/log"
case "${0##*/} $*" in
    "sudo "*) exec "$@" ;;
    "sleep "*) ;;
    "dpkg --print-foreign-architectures") cat "$root/foreign" 2>/dev/null ;;
    "dpkg --add-architecture i386") echo i386 >>"$root/foreign" ;;
    "apt-get update"*)
        echo "E: Failed to fetch .../bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (43 != 42). Mirror sync in progress?" >&2
        exit 100 ;;
    "apt-get install"*" -t testrelease "*)
        [[ ! -f $root/unresolvable ]] || { echo "E: Unable to correct problems" >&2; exit 100; }
        if [[ " $* " != *" wine64 "* || " $* " != *" libwine "* ]]; then
            if [[ " $* " == *" -s "* ]]; then printf 'Remv %s [8.0~repack-4]\n' wine64 libwine; exit 0; fi
            [[ " $* " != *" --no-remove "* ]] || { echo "E: Packages need to be removed but remove is disabled." >&2; exit 100; }
            rm -f "$root/usr/lib/wine/wine64"
        fi
        [[ " $* " != *" -s "* ]] || exit 0
        # Each package's file, with any version in its path made up.
        for package in "$@"; do
            while read -r name file; do
                [[ $name == "$package" ]] || continue
                file=$root${file//\*/99}
                mkdir -p "$(dirname "$file")" && touch "$file" && chmod +x "$file"
            done <"$(dirname "$0")/../table"
        done ;;
    "apt-get install"*)
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100 ;;
    "update-binfmts --display"*) exit 1 ;;
    "update-binfmts "*) touch "$root/registered" ;;
    *) exit 1 ;;
esac
EOF
chmod +x "$work/fake"

# A machine with every tool but the given packages.
machine() {
    root=$work/$1
    shift
    mkdir -p "$root/bin" "$root/etc"
    cp "$work/table" "$root/table"
    echo 'VERSION_CODENAME=testrelease' >"$root/etc/os-release"
    for tool in apt-get dpkg sudo sleep mount; do ln -s "$work/fake" "$root/bin/$tool"; done
    local present
    mapfile -t present < <(awk -v absent=" $* " 'index(absent, " " $1 " ") == 0 { print $1 }' "$work/table")
    WTS_ROOT=$root "$root/bin/apt-get" install -y -t testrelease wine64 libwine "${present[@]}"
    : >"$root/log"
}

# A 32-bit loader that runs only once a qemu-i386 handler is registered.
needs_qemu() {
    printf '#!/bin/sh\n[ -f %s/registered ] || grep -qs qemu-i386 %s/proc/sys/fs/binfmt_misc/register\n' \
        "$root" "$root" >"$root/usr/lib/wine/wine"
}

deps() {
    rc=0
    WTS_ROOT=$root PATH=$root/bin:/usr/bin "$repo/scripts/deps" >"$root/out" 2>&1 || rc=$?
}

check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
        sed 's/^/    /' "$root/out" "$root/log"
    fi
}
said() { grep -qF -- "$1" "$root/out"; }
not_said() { ! grep -qF -- "$1" "$root/out"; }
asked() { grep -qF -- "$1" "$root/log"; }
not_asked() { ! grep -qF -- "$1" "$root/log"; }

machine ready
deps
check "a machine with every tool installs nothing" said "all tools present"
check "a machine with every tool asks apt nothing" not_asked apt-get
check "the clang runtime is found whatever its version" not_said libclang-rt

machine mid-sync wine32:i386 wine32-preloader:i386
deps
check "the mirror in mid-sync is got through" test "$rc" -eq 0 -a -x "$root/usr/lib/wine/wine-preloader"
check "i386 packages are enabled first" asked "dpkg --add-architecture i386"
check "apt-get update is tried three times" test "$(grep -c '^apt-get update' "$root/log")" -eq 3
check "a failed update is said and passed" said "going on with the package lists this machine already has"
check "one plain transaction is tried first" \
    asked "apt-get install -y -q --no-remove wine32:i386 wine32-preloader:i386"
check "the release's own archive, named by os-release, keeps what it would remove" \
    asked "apt-get install -y -q --no-remove -t testrelease wine32:i386 wine32-preloader:i386 wine64 libwine"
check "wine64 stays installed" test -x "$root/usr/lib/wine/wine64"

machine unresolvable wine32:i386 wine32-preloader:i386
touch "$root/unresolvable"
deps
check "an unresolvable install fails" test "$rc" -eq 1
check "the failure names what is missing" said "FAILED: still missing: wine32:i386 wine32-preloader:i386"
check "nothing is removed on failure" test -x "$root/usr/lib/wine/wine64"

machine binfmt-support
needs_qemu
ln -s "$work/fake" "$root/bin/update-binfmts"
deps
check "qemu-i386 is registered with update-binfmts" \
    asked "update-binfmts --package wtsscope --install qemu-i386 /usr/bin/qemu-i386-static --magic"
check "registered with update-binfmts, 32-bit Wine runs" not_said "cannot run"

machine bare-binfmt
needs_qemu
mkdir -p "$root/proc/sys/fs/binfmt_misc"
touch "$root/proc/sys/fs/binfmt_misc/register"
deps
check "without update-binfmts the handler is written to the kernel" said "registered qemu-i386"
check "written to the kernel, 32-bit Wine runs" not_said "cannot run"

echo "deps_test: $passed passed, $failed failed"
(( failed == 0 ))
