#!/usr/bin/env bash
# The bootstrap's apt steps on canned apt output, with apt-get and apt-cache
# replaced by stand-ins: no network, no root, nothing of the system's apt
# configuration read or written.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Every temporary file of the steps goes into the test's folder.
export TMPDIR=$tmp

sudo=""
apt_native=amd64
apt_pause=0
apt_preferences=$tmp/preferences
# shellcheck source=../../scripts/bootstrap_apt.sh
source "$here/../../scripts/bootstrap_apt.sh"

failures=0
check() {  # NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1" >&2
        diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /' >&2 || true
        failures=$((failures + 1))
    fi
}
contains() {  # NAME TEXT PATTERN
    grep -qF -- "$3" <<<"$2" || { echo "FAIL: $1: no \"$3\" in:" >&2; sed 's/^/    /' <<<"$2" >&2; failures=$((failures + 1)); }
}

# Version tables as `apt-cache policy P:amd64 P:i386 ...` prints them, newest
# first; apt names the native architecture's package without a qualifier.
cat >"$tmp/policy.txt" <<'EOF'
libfoo1:
  Installed: (none)
  Candidate: 1.2-3+deb12u1
  Version table:
     1.2-3+deb12u1 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
     1.2-3 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libfoo1:i386:
  Installed: (none)
  Candidate: 1.2-3
  Version table:
     1.2-3 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libsame1:
  Installed: 4.0-1
  Candidate: 4.0-1
  Version table:
 *** 4.0-1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
        100 /var/lib/dpkg/status
libsame1:i386:
  Installed: (none)
  Candidate: 4.0-1
  Version table:
     4.0-1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libnewer1:
  Installed: 2.0-1+deb12u2
  Candidate: 2.0-1+deb12u2
  Version table:
 *** 2.0-1+deb12u2 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
        100 /var/lib/dpkg/status
     2.0-1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libnewer1:i386:
  Installed: (none)
  Candidate: 2.0-1
  Version table:
     2.0-1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libold1:amd64:
  Installed: 3.0-1
  Candidate: 3.0-3
  Version table:
     3.0-3 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
     3.0-2 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
 *** 3.0-1 100
        100 /var/lib/dpkg/status
libold1:i386:
  Installed: (none)
  Candidate: 3.0-2
  Version table:
     3.0-2 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libforeign1:
  Installed: (none)
  Candidate: 5.3-1
  Version table:
     5.3-1 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
     5.1-1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libforeign1:i386:
  Installed: 5.2-1
  Candidate: 5.2-1
  Version table:
 *** 5.2-1 100
        100 /var/lib/dpkg/status
     5.1-1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libepoch1:
  Installed: (none)
  Candidate: 1:7.0-2
  Version table:
     1:7.0-2 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
     1:7.0-1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libepoch1:i386:
  Installed: (none)
  Candidate: 1:7.0-1
  Version table:
     1:7.0-1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libtwo1:
  Installed: (none)
  Candidate: 1.3-1
  Version table:
     1.3-1 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
     1.2-1 500
        500 http://deb.debian.org/debian bookworm-updates/main amd64 Packages
     1.1-1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libtwo1:i386:
  Installed: (none)
  Candidate: 1.2-1
  Version table:
     1.2-1 500
        500 http://deb.debian.org/debian bookworm-updates/main i386 Packages
     1.1-1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
libamd64only:
  Installed: (none)
  Candidate: 9.0-1
  Version table:
     9.0-1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
libamd64only:i386:
  Installed: (none)
  Candidate: (none)
  Version table:
EOF

# The version both architectures can install, package by package: the
# security update only one index lists is passed over for the newest one
# both list; an installed version
# is never gone back on, neither for amd64 nor for i386; agreeing candidates
# and a package one architecture lacks need nothing.
check "the choice of versions" "libfoo1 1.2-3 1.2-3+deb12u1 1.2-3
libnewer1 - 2.0-1+deb12u2 2.0-1
libold1 3.0-2 3.0-3 3.0-2
libforeign1 - 5.3-1 5.2-1
libepoch1 1:7.0-1 1:7.0-2 1:7.0-1
libtwo1 1.2-1 1.3-1 1.2-1" "$(multiarch_choose amd64 i386 <"$tmp/policy.txt")"
check "no choice for an empty policy" "" "$(multiarch_choose amd64 i386 </dev/null)"
# Where the installed amd64 version is the one both offer, it is kept.
check "the installed version kept" "libkept1 6.0-1 6.0-2 6.0-1" "$(multiarch_choose amd64 i386 <<'EOF'
libkept1:
  Installed: 6.0-1
  Candidate: 6.0-2
  Version table:
     6.0-2 500
        500 http://deb.debian.org/debian-security bookworm-security/main amd64 Packages
 *** 6.0-1 500
        500 http://deb.debian.org/debian bookworm/main amd64 Packages
        100 /var/lib/dpkg/status
libkept1:i386:
  Installed: (none)
  Candidate: 6.0-1
  Version table:
     6.0-1 500
        500 http://deb.debian.org/debian bookworm/main i386 Packages
EOF
)"

check "the pins, byte for byte" "$(printf '%s\n' 'Package: libfoo1:amd64 libfoo1:i386' 'Pin: version 1.2-3' \
    'Pin-Priority: 990' '' 'Package: libepoch1:amd64 libepoch1:i386' 'Pin: version 1:7.0-1' 'Pin-Priority: 990' '' \
    .)" \
    "$(printf 'libfoo1 1.2-3 1.2-3+deb12u1 1.2-3\nlibepoch1 1:7.0-1 1:7.0-2 1:7.0-1\n' | multiarch_pins amd64 i386;
        echo .)"
# (The trailing "." keeps the blank line that ends the last stanza.)

cat >"$tmp/show.txt" <<'EOF'
Package: libfoo1
Architecture: i386
Version: 1.2-3
Multi-Arch: same
Depends: libc6 (>= 2.34)

Package: wine32
Architecture: i386
Version: 8.0~repack-4

Package: libc6
Architecture: i386
Version: 2.36-9
Multi-Arch: same

Package: fontconfig-config
Architecture: all
Multi-Arch: foreign
EOF
check "the Multi-Arch: same packages" "libc6
libfoo1" "$(multiarch_same <"$tmp/show.txt")"

# A source package is there only with every file its description lists.
cache=$tmp/cache
mkdir -p "$cache"
cat >"$cache/libdemo_1.0-1.dsc" <<'EOF'
-----BEGIN PGP SIGNED MESSAGE-----
Hash: SHA512

Format: 3.0 (quilt)
Source: libdemo
Version: 1.0-1
Checksums-Sha256:
 0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0 1000 libdemo_1.0.orig.tar.gz
 a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796 200 libdemo_1.0-1.debian.tar.xz
Files:
 0123456789abcdef0123456789abcdef 1000 libdemo_1.0.orig.tar.gz
 fedcba9876543210fedcba9876543210 200 libdemo_1.0-1.debian.tar.xz

-----BEGIN PGP SIGNATURE-----
iQIzBAEBCgAdFiEE
-----END PGP SIGNATURE-----
EOF
touch "$cache/libdemo_1.0-1.debian.tar.xz"
apt_source_complete "$cache" libdemo && check "a description without its tarball counts as absent" absent present
touch "$cache/libdemo_1.0.orig.tar.gz"
apt_source_complete "$cache" libdemo || check "a whole source package counts as present" present absent
apt_source_complete "$cache" libother && check "another package's files do not count" absent present

# ---- the flows, with stand-ins for apt-get and apt-cache -------------------
bin=$tmp/bin
mkdir -p "$bin"
export FAKE_DIR=$tmp
cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
# Logs each call; "update" fails the first $FAKE_UPDATE_FAILS times; an
# install succeeds only with a preferences file holding $FAKE_NEEDS_PIN.
echo "apt-get $*" >>"$FAKE_DIR/calls"
prefs=""
for arg in "$@"; do
    case "$arg" in Dir::Etc::Preferences=*) prefs=${arg#*=} ;; esac
done
case " $* " in
*" update "*)
    n=$(($(cat "$FAKE_DIR/updates" 2>/dev/null || echo 0) + 1))
    echo "$n" >"$FAKE_DIR/updates"
    if [ "$n" -le "${FAKE_UPDATE_FAILS:-0}" ]; then
        echo "Err:5 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
        echo "  File has unexpected size (123 != 456). Mirror sync in progress? [IP: 192.0.2.1 80]"
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (123 != 456). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100
    fi
    ;;
*" install "*)
    [ -z "$prefs" ] || cp "$prefs" "$FAKE_DIR/seen-preferences"
    if [ -n "${FAKE_NEEDS_PIN:-}" ] && ! { [ -n "$prefs" ] && grep -qxF "$FAKE_NEEDS_PIN" "$prefs"; }; then
        echo "Reading package lists..."
        echo "Some packages could not be installed."
        echo "The following packages have unmet dependencies:"
        echo " libfoo1:i386 : Depends: libfoo1 (= 1.2-3)"
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100
    fi
    ;;
esac
EOF
cat >"$bin/apt-cache" <<'EOF'
#!/usr/bin/env bash
echo "apt-cache $*" >>"$FAKE_DIR/calls"
case "$1" in
depends) printf '%s\n' 'wine32:i386' '  Depends: libfoo1:i386' '  Depends: <debconf-2.0>' 'libfoo1:i386' \
    '  Depends: libc6:i386' 'libc6:i386' 'fontconfig-config' '<debconf-2.0>' ;;
show) cat "$FAKE_DIR/show.txt" ;;
policy) cat "$FAKE_POLICY" ;;
esac
EOF
chmod +x "$bin/apt-get" "$bin/apt-cache"
PATH=$bin:$PATH

# The versions of the first flow: two libraries to pin, one that agrees.
sed -n '/^libfoo1:$/,/^libnewer1:$/p' "$tmp/policy.txt" | sed '$d' >"$tmp/policy-agreeable.txt"
sed -n '/^libepoch1:$/,/^libtwo1:$/p' "$tmp/policy.txt" | sed '$d' >>"$tmp/policy-agreeable.txt"

reset_fakes() { rm -f "$tmp/calls" "$tmp/updates" "$tmp/seen-preferences"; }
calls() { grep -c "^apt-get .*$1" "$tmp/calls" || true; }

# A mirror in the middle of a sync: the update is tried again and goes through.
reset_fakes
FAKE_UPDATE_FAILS=2 apt_update 2>"$tmp/err"
err=$(cat "$tmp/err")
check "updates until one goes through" 3 "$(calls update)"
contains "each failed try is reported" "$err" "apt-get update failed (try 2 of 3)"
check "a fresh update" 1 "$apt_fresh"

# An index that stays stale: apt's own lines reported, and the bootstrap goes on.
reset_fakes
apt_fresh=0
status=0
FAKE_UPDATE_FAILS=9 apt_update 2>"$tmp/err" || status=$?
err=$(cat "$tmp/err")
check "a failing update is not fatal" 0 "$status"
check "tries of a failing update" 3 "$(calls update)"
contains "the failed index is named" "$err" "binary-i386/Packages.xz  File has unexpected size"
contains "the failure is reported" "$err" "apt-get update failed 3 times; going on"

# The issue's case end to end: apt refuses wine32:i386 ("held broken
# packages") while the i386 index lacks the amd64 security update of
# libfoo1; the install holds libfoo1 at the version both have for this run,
# keeps the system's own preferences, and says so.
reset_fakes
printf 'Package: nodejs\nPin: origin deb.nodesource.com\nPin-Priority: 600\n' >"$apt_preferences"
FAKE_NEEDS_PIN='Package: libfoo1:amd64 libfoo1:i386' FAKE_POLICY=$tmp/policy-agreeable.txt \
    apt_install wine wine32:i386 >"$tmp/out" 2>"$tmp/err"
out=$(cat "$tmp/out")
check "the install with pins succeeds" "" "$(cat "$tmp/err")"
contains "the choice is reported" "$out" "the amd64 and i386 indexes disagree on libfoo1 (1.2-3+deb12u1 and 1.2-3); installing 1.2-3"
check "the preferences given to apt" "$(printf '%s\n' 'Package: nodejs' 'Pin: origin deb.nodesource.com' \
    'Pin-Priority: 600' '' 'Package: libfoo1:amd64 libfoo1:i386' 'Pin: version 1.2-3' 'Pin-Priority: 990' '' \
    'Package: libepoch1:amd64 libepoch1:i386' 'Pin: version 1:7.0-1' 'Pin-Priority: 990' '' .)" \
    "$(cat "$tmp/seen-preferences"; echo .)"
real_install=$(grep '^apt-get .* install -y' "$tmp/calls" || true)
contains "the real install takes the pins" "$real_install" "Dir::Etc::Preferences="
contains "the real install installs what was asked" "$real_install" "--no-install-recommends wine wine32:i386"
pinfile=$(sed -n 's/.*Dir::Etc::Preferences=\([^ ]*\).*/\1/p' <<<"$real_install")
apt_cleanup
[ ! -e "$pinfile" ] || check "the pin file outlives the run" gone "$pinfile"

# Two libraries with no version both architectures may install: nothing is
# installed, and the message names them.
reset_fakes
status=0
FAKE_NEEDS_PIN='never' FAKE_POLICY=$tmp/policy.txt apt_install wine32:i386 >/dev/null 2>"$tmp/err" || status=$?
check "no shared version fails the install" 1 "$status"
contains "the stuck library is named" "$(cat "$tmp/err")" "libnewer1 is 2.0-1+deb12u2 for amd64 and 2.0-1 for i386"
contains "the other stuck library is named" "$(cat "$tmp/err")" "libforeign1 is 5.3-1 for amd64 and 5.2-1 for i386"
check "no real install without a shared version" 0 "$(calls 'install -y')"

# A refusal that has nothing to do with architectures is apt's own message.
reset_fakes
status=0
FAKE_NEEDS_PIN='never' apt_install -t bookworm-backports osslsigncode >/dev/null 2>"$tmp/err" || status=$?
check "a plain refusal fails the install" 1 "$status"
contains "apt's message is shown" "$(cat "$tmp/err")" "held broken packages"
check "no closure looked up for native packages" 0 "$(grep -c '^apt-cache depends' "$tmp/calls" || true)"
apt_cleanup

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed" >&2
    exit 1
fi
echo "bootstrap apt steps: all checks passed"
