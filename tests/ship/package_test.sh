#!/bin/sh
# Builds the Debian package and checks it: exactly the installed files, a
# settings file that sets nothing, no lintian error or warning (which also
# holds the conffiles and the library dependencies), a unit that systemd
# accepts and whose offline exposure is at most 4.0.
# usage: package_test.sh BUILD_DIR DORVAND
set -u
build=$1 dorvand=$2
here=$(dirname "$0")
for t in cpack dpkg-deb dpkg-shlibdeps lintian systemd-analyze; do
    command -v "$t" >/dev/null 2>&1 || { echo "SKIP: $t not installed (sh scripts/deps.sh test installs it)"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$tmp"/dorvan_*.deb)

got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
[ "$got" = "$(cat "$here/files.txt")" ] || fail "package files differ:
$got"
dpkg-deb -e "$deb" "$tmp/control"
dpkg-deb -x "$deb" "$tmp/root"
grep -q '^[^#]' "$tmp/root/etc/default/dorvand" && fail "settings file sets something"

lintian --fail-on none "$deb" >"$tmp/lintian" 2>/dev/null
grep '^[EW]:' "$tmp/lintian" && fail "lintian reports errors or warnings"

# Configuring works without systemd, update-rc.d and invoke-rc.d (a minimal
# system): in a mount namespace of its own, /run and /etc/init.d emptied but
# for the script.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    mkdir "$tmp/none" && unshare -m sh -c 'mount -t tmpfs none /run && mount -t tmpfs none /etc/init.d &&
        printf "#!/bin/sh\n" >/etc/init.d/dorvand && chmod +x /etc/init.d/dorvand &&
        PATH=$1 /bin/sh "$2" configure' sh "$tmp/none" "$tmp/control/postinst" >/dev/null 2>&1 ||
        fail "postinst configure failed without update-rc.d and invoke-rc.d"
fi

# The unit as packaged (/usr/sbin/dorvand, whatever the build's prefix), but
# starting this build's dorvand: verify wants an existing program.
unit=$tmp/dorvand.service
sed "s|^ExecStart=/usr/sbin/dorvand|ExecStart=$dorvand|" "$tmp/root/usr/lib/systemd/system/dorvand.service" >"$unit"
systemd-analyze verify --man=no "$unit" >"$tmp/verify" 2>&1 && ! [ -s "$tmp/verify" ] || fail "systemd-analyze verify: $(cat "$tmp/verify")"
score=$(systemd-analyze security --offline=true "$unit" 2>&1 |
        sed -n 's/.*Overall exposure level for dorvand.service: \([0-9.]*\).*/\1/p')
echo "exposure: ${score:-none}"
[ -n "$score" ] && awk -v s="$score" 'BEGIN { exit !(s <= 4.0) }' || fail "exposure ${score:-unknown} above 4.0"

[ $fails -eq 0 ] && echo "package test passed"
[ $fails -eq 0 ]
