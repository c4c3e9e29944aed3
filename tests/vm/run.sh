#!/bin/sh
# Boots Debian 12's own kernel in qemu with simulated radios (mac80211_hwsim)
# and no network device, and runs guest.sh there against dorvand, hostapd
# (driver=nl80211) and wpa_supplicant stations.
#   run.sh BUILD_DIR     packages cached in BUILD_DIR/vm-cache (about 80 MB)
# DORVAN_VM_ACCEL=kvm|tcg forces the accelerator; DORVAN_VM_DEADLINE (s)
# bounds the guest's run; DORVAN_VM_APPEND adds kernel parameters (see
# guest.sh), DORVAN_VM_QEMU options to qemu; DORVAN_VM_DROPS=report reaches
# the guest's environment. Status 77: qemu cannot run here (skipped).
set -eu
build=$(cd "$1" && pwd)
cache=$build/vm-cache
mkdir -p "$cache/debs" "$cache/bin"
work=$build/vm
fail() { echo "FAIL: $*"; exit 1; }
# DORVAN_VM_REQUIRED (CI): a machine that cannot run the VM fails.
skip() { [ -z "${DORVAN_VM_REQUIRED:-}" ] || fail "$*"; echo "SKIP: $*"; exit 77; }

qemu-system-x86_64 --version >/dev/null 2>&1 ||
    skip "qemu-system-x86_64 cannot run here (sh scripts/deps.sh vm installs it)"
for b in dorvand dorvan dorvan-cfg tests/vm_keys; do [ -x "$build/$b" ] || fail "$b not built in $build"; done

# Packages: what linux-image-amd64 depends on, the userland and its libraries.
kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: \(linux-image-[0-9].*\)/\1/p' | head -n 1)
[ -n "$kpkg" ] || fail "apt-cache knows no linux-image-amd64 (apt-get update)"
pkgs="$kpkg busybox-static kmod hostapd wpasupplicant iw wireless-regdb libc6 libgcc-s1
libstdc++6 libssl3 libnl-3-200 libnl-genl-3-200 libnl-route-3-200 libdbus-1-3 libsystemd0
libpcsclite1 libreadline8 libtinfo6 liblzma5 libzstd1 libgcrypt20 libgpg-error0 liblz4-1 libcap2"
want=$(echo $pkgs | tr ' ' '\n' | sort | tr '\n' ' ')
if [ "$(cat "$cache/debs/.list" 2>/dev/null)" != "$want" ]; then
    echo "== fetching $(echo $pkgs | wc -w) packages into $cache/debs"
    rm -f "$cache/debs/"*.deb "$cache/.unpacked"
    # (as root: apt's user for downloads cannot write the cache)
    # shellcheck disable=SC2086 # one word a package
    (cd "$cache/debs" && apt-get -q -o APT::Sandbox::User=root download $pkgs) || fail "apt-get download failed"
    echo "$want" > "$cache/debs/.list"
fi
root=$cache/root
if [ ! -f "$cache/.unpacked" ]; then
    echo "== unpacking"
    rm -rf "$root"
    for d in "$cache/debs/"*.deb; do dpkg-deb -x "$d" "$root"; done
    touch "$cache/.unpacked"
fi
kver=$(ls "$root/lib/modules")
for k in depmod modprobe; do ln -sf "$root/bin/kmod" "$cache/bin/$k"; done
[ -f "$root/lib/modules/$kver/modules.dep" ] || "$cache/bin/depmod" -b "$root" "$kver"

# The initramfs: busybox, the programs and the libraries they need, the
# modules with what they depend on, the regulatory database, dorvan.
echo "== initramfs"
rm -rf "$work"
ird=$work/initrd
for d in bin sbin lib/x86_64-linux-gnu lib64 lib/firmware usr/sbin usr/lib/x86_64-linux-gnu etc proc sys dev; do mkdir -p "$ird/$d"; done
cp "$root/bin/busybox" "$root/bin/kmod" "$ird/bin/"
ln -s ../bin/kmod "$ird/sbin/modprobe"
for p in usr/sbin/hostapd usr/sbin/hostapd_cli sbin/wpa_supplicant sbin/wpa_cli sbin/iw; do cp "$root/$p" "$ird/$p"; done
for b in dorvand dorvan dorvan-cfg tests/vm_keys; do strip -o "$ird/bin/${b#tests/}" "$build/$b"; done
install -m 755 "$(dirname "$0")/guest.sh" "$ird/init"
for n in regulatory.db regulatory.db.p7s; do cp "$root/lib/firmware/$n-debian" "$ird/lib/firmware/$n"; done
# (the link names the loader of the libraries above)
cp -a "$root/lib64/ld-linux-x86-64.so.2" "$ird/lib64/"
# RC4 and MD5 for WPA (TKIP) keys live in OpenSSL's legacy provider.
cp -r "$root/usr/lib/x86_64-linux-gnu/ossl-modules" "$ird/usr/lib/x86_64-linux-gnu/"
# Every library the packages give; each one a program or library needs
# must be among them.
cp -a "$root"/lib/x86_64-linux-gnu/*.so* "$root"/usr/lib/x86_64-linux-gnu/*.so* "$ird/lib/x86_64-linux-gnu/"
for lib in $(readelf -d "$ird"/bin/* "$ird"/sbin/* "$ird"/usr/sbin/* "$ird"/lib/x86_64-linux-gnu/* 2>/dev/null |
             sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u); do
    [ -e "$ird/lib/x86_64-linux-gnu/$lib" ] || fail "no package in the list gives $lib"
done
# The modules with those they depend on.
mods="mac80211_hwsim uinput evdev ccm ctr cmac michael_mic"
# shellcheck disable=SC2086 # one word a module
need=$("$cache/bin/modprobe" -d "$root" -S "$kver" -a --show-depends $mods) || fail "kernel $kver lacks one of: $mods"
for m in $(echo "$need" | sed -n "s|^insmod $root/||p"); do mkdir -p "$ird/${m%/*}" && cp "$root/$m" "$ird/$m"; done
cp "$root/lib/modules/$kver/modules.order" "$root/lib/modules/$kver/modules.builtin" \
    "$root/lib/modules/$kver/modules.builtin.modinfo" "$ird/lib/modules/$kver/"
"$cache/bin/depmod" -b "$ird" "$kver"
grep -q '^CONFIG_GPIO_SIM=' "$root/boot/config-$kver" ||
    grep -h 'CONFIG_GPIO_SIM' "$root/boot/config-$kver" > "$ird/etc/no-gpio-sim"
(cd "$ird" && find . | "$root/bin/busybox" cpio -o -H newc 2>/dev/null) > "$work/initrd.cpio"
echo "   $(du -m "$work/initrd.cpio" | cut -f1) MiB, kernel $kver"

# boot ACCEL SECONDS: the guest's console into console.log; 0 once the guest
# said it runs within SECONDS (then qemu is left running), else 1.
boot() {
    opts="-accel tcg -cpu max"
    [ "$1" = tcg ] || opts="-enable-kvm -cpu host"
    : > "$work/console.log"
    t0=$(date +%s%N)
    # shellcheck disable=SC2086
    qemu-system-x86_64 $opts -m 1024 -smp 2 -nodefaults -nic none -display none -no-reboot \
        -serial "file:$work/console.log" -kernel "$root/boot/vmlinuz-$kver" \
        -initrd "$work/initrd.cpio" -append "console=ttyS0 panic=-1 quiet ${DORVAN_VM_DROPS:+DORVAN_VM_DROPS=$DORVAN_VM_DROPS} ${DORVAN_VM_APPEND:-}" ${DORVAN_VM_QEMU:-} </dev/null &
    qpid=$!
    t=$(($2 * 10))
    while [ $((t -= 1)) -ge 0 ] && kill -0 $qpid 2>/dev/null; do
        grep -q '^VM: init' "$work/console.log" && echo "== $1 guest up in $(( ($(date +%s%N) - t0) / 1000000 )) ms" && return 0
        sleep 0.1
    done
    why="not up within $2 s"
    kill $qpid 2>/dev/null || why="qemu ended"
    wait $qpid 2>/dev/null || true
    echo "== $1 guest: $why; last console line: $(tail -n 1 "$work/console.log")"
    return 1
}
accel=${DORVAN_VM_ACCEL:-tcg}
[ -n "${DORVAN_VM_ACCEL:-}" ] || ! (exec 3<>/dev/kvm) 2>/dev/null || accel=kvm
# A KVM guest that hangs after the BIOS falls back to TCG after 10 s.
if [ "$accel" = kvm ] && ! boot kvm 10; then accel=tcg; fi
[ "$accel" = kvm ] || boot tcg 60 || fail "guest did not boot"
deadline=${DORVAN_VM_DEADLINE:-300}
end=$(( $(date +%s) + deadline ))
while kill -0 $qpid 2>/dev/null && [ "$(date +%s)" -lt $end ]; do sleep 0.2; done
late=
! kill $qpid 2>/dev/null || late=1
wait $qpid 2>/dev/null || true
grep '^VM: ' "$work/console.log" || true
[ -z "$late" ] || fail "guest still running after $deadline s (console: $work/console.log)"
grep -q '^VM: done, 0 failed' "$work/console.log" || { tail -n 40 "$work/console.log"; fail "see $work/console.log"; }
