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
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
cache=$build/vm-cache
mkdir -p "$cache/debs" "$cache/bin"
work=$build/vm
deadline=${DORVAN_VM_DEADLINE:-300}
fail() { echo "FAIL: $*"; exit 1; }
# DORVAN_VM_REQUIRED (CI): a machine that cannot run the VM fails.
skip() { [ -z "${DORVAN_VM_REQUIRED:-}" ] || fail "$*"; echo "SKIP: $*"; exit 77; }

qemu-system-x86_64 --version >/dev/null 2>&1 ||
    skip "qemu-system-x86_64 cannot run here (sh scripts/deps.sh vm installs it)"
for b in dorvand dorvan dorvan-cfg tests/vm_keys; do
    [ -x "$build/$b" ] || fail "$b not built in $build"
done

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
    sandbox=
    [ "$(id -u)" = 0 ] && sandbox="-o APT::Sandbox::User=root"
    # shellcheck disable=SC2086 # one word a package
    (cd "$cache/debs" && apt-get -q $sandbox download $pkgs) || fail "apt-get download failed"
    echo "$want" > "$cache/debs/.list"
fi
root=$cache/root
if [ ! -f "$cache/.unpacked" ]; then
    echo "== unpacking"
    rm -rf "$root"
    mkdir -p "$root"
    for d in "$cache/debs/"*.deb; do dpkg-deb -x "$d" "$root"; done
    touch "$cache/.unpacked"
fi
kver=$(ls "$root/lib/modules")
ln -sf "$root/bin/kmod" "$cache/bin/depmod"
[ -f "$root/lib/modules/$kver/modules.dep" ] || "$cache/bin/depmod" -b "$root" "$kver"

# The initramfs: busybox, the programs and the libraries they need, the
# modules with what they depend on, the regulatory database, dorvan.
echo "== initramfs"
rm -rf "$work"
ird=$work/initrd
mkdir -p "$ird/bin" "$ird/sbin" "$ird/lib/x86_64-linux-gnu" "$ird/lib64" "$ird/lib/firmware" \
    "$ird/usr/local/bin" "$ird/usr/sbin" "$ird/usr/lib/x86_64-linux-gnu" "$ird/etc" "$ird/proc" \
    "$ird/sys" "$ird/dev" "$ird/tmp" "$ird/var/run"
cp "$root/bin/busybox" "$root/bin/kmod" "$ird/bin/"
ln -s ../bin/kmod "$ird/sbin/modprobe"
ln -s ../bin/kmod "$ird/sbin/insmod"
for p in usr/sbin/hostapd usr/sbin/hostapd_cli sbin/wpa_supplicant sbin/wpa_cli sbin/iw; do
    cp "$root/$p" "$ird/$p"
done
for b in dorvand dorvan dorvan-cfg tests/vm_keys; do strip -o "$ird/bin/${b#tests/}" "$build/$b"; done
cp "$src/tests/vm/guest.sh" "$ird/init"
chmod 755 "$ird/init"
for f in "$root"/lib/firmware/regulatory.db*-debian; do
    n=${f##*/}
    cp "$f" "$ird/lib/firmware/${n%-debian}"
done
cp "$root/lib64/ld-linux-x86-64.so.2" "$ird/lib64/"
# RC4 and MD5 for WPA (TKIP) keys live in OpenSSL's legacy provider.
cp -r "$root/usr/lib/x86_64-linux-gnu/ossl-modules" "$ird/usr/lib/x86_64-linux-gnu/"
# Libraries by the DT_NEEDED names, until nothing new is needed.
libdirs="$root/lib/x86_64-linux-gnu $root/usr/lib/x86_64-linux-gnu"
todo="$ird/bin/kmod $ird/sbin/* $ird/usr/sbin/* $ird/bin/dorvand $ird/bin/dorvan $ird/bin/dorvan-cfg $ird/bin/vm_keys"
while [ -n "$todo" ]; do
    next=
    for lib in $(readelf -d $todo 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u); do
        [ -e "$ird/lib/x86_64-linux-gnu/$lib" ] && continue
        found=
        for d in $libdirs; do [ -e "$d/$lib" ] && found=$d/$lib && break; done
        [ -n "$found" ] || fail "no package in the list gives $lib"
        cp -L "$found" "$ird/lib/x86_64-linux-gnu/$lib"
        next="$next $ird/lib/x86_64-linux-gnu/$lib"
    done
    todo=$next
done
mods="mac80211_hwsim uinput evdev ccm ctr cmac michael_mic"
dep=$root/lib/modules/$kver/modules.dep
need=
for m in $mods; do
    line=$(grep -E "/$m\.ko(\.[a-z]+)?:" "$dep") || fail "kernel $kver has no module $m"
    need="$need $(echo "$line" | tr -d :)"
done
mkdir -p "$ird/lib/modules/$kver"
for m in $(echo $need | tr ' ' '\n' | sort -u); do
    mkdir -p "$ird/lib/modules/$kver/${m%/*}"
    cp "$root/lib/modules/$kver/$m" "$ird/lib/modules/$kver/$m"
done
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
    accel=$1
    case $accel in
    kvm) opts="-enable-kvm -cpu host" ;;
    *) opts="-accel tcg -cpu max" ;;
    esac
    : > "$work/console.log"
    t0=$(date +%s%N)
    # shellcheck disable=SC2086
    qemu-system-x86_64 $opts -m 1024 -smp 2 -nodefaults -nic none -display none -no-reboot \
        -serial "file:$work/console.log" -kernel "$root/boot/vmlinuz-$kver" \
        -initrd "$work/initrd.cpio" -append "console=ttyS0 panic=-1 quiet ${DORVAN_VM_DROPS:+DORVAN_VM_DROPS=$DORVAN_VM_DROPS} ${DORVAN_VM_APPEND:-}" ${DORVAN_VM_QEMU:-} </dev/null &
    qpid=$!
    t=0
    while [ $t -lt $(($2 * 10)) ]; do
        if grep -q '^VM: init' "$work/console.log"; then
            echo "== $accel guest up in $(( ($(date +%s%N) - t0) / 1000000 )) ms"
            return 0
        fi
        kill -0 $qpid 2>/dev/null || break
        sleep 0.1
        t=$((t + 1))
    done
    why="not up within $2 s"
    kill $qpid 2>/dev/null || why="qemu ended"
    wait $qpid 2>/dev/null || true
    echo "== $accel guest: $why; last console line: $(tail -n 1 "$work/console.log")"
    return 1
}
accel=${DORVAN_VM_ACCEL:-}
if [ -z "$accel" ]; then
    accel=tcg
    if (exec 3<>/dev/kvm) 2>/dev/null; then accel=kvm; fi
fi
# A KVM guest that hangs after the BIOS falls back to TCG after 10 s.
if [ "$accel" = kvm ] && ! boot kvm 10; then accel=tcg; fi
[ "$accel" = kvm ] || boot tcg 60 || fail "guest did not boot"
end=$(( $(date +%s) + deadline ))
while kill -0 $qpid 2>/dev/null; do
    if [ "$(date +%s)" -ge $end ]; then
        kill $qpid
        wait $qpid 2>/dev/null || true
        grep '^VM: ' "$work/console.log" || true
        fail "guest still running after $deadline s (console: $work/console.log)"
    fi
    sleep 0.2
done
wait $qpid || true
grep '^VM: ' "$work/console.log" || true
grep -q '^VM: done, 0 failed' "$work/console.log" || {
    tail -n 40 "$work/console.log"
    fail "see $work/console.log"
}
