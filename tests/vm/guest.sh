#!/bin/busybox sh
# PID 1 of the test VM. wlan0 is the gateway's radio (dorvand, hostapd
# nl80211), wlan1-wlan4 stations (wpa_supplicant), wlan5 a probe station,
# wlan6 a listener that scans one frequency. Prints "VM: PASS|FAIL|CANNOT|
# FIGURE|DROPS ..." lines and powers off. DORVAN_VM_DROPS=report (a kernel
# parameter, so in init's environment) prints the stations a change dropped
# without failing on a mismatch.
/bin/busybox --install -s /bin
export PATH=/usr/local/bin:/usr/sbin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /tmp /var/run/wpa /usr/local/bin /etc/dorvan
ms() { read -r u _ < /proc/uptime; echo $((${u%.*}${u#*.} * 10)); }
echo "VM: init at $(ms) ms"
# Kernel parameters for a closer look: vmdebug traces this script,
# vmshell opens a shell on the second serial port beside it.
grep -qw vmdebug /proc/cmdline && set -x
grep -qw vmshell /proc/cmdline && setsid sh -c 'exec sh </dev/ttyS1 >/dev/ttyS1 2>&1' &
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "VM: PASS $1 (at $(ms) ms)"; }
bad() { failed=$((failed + 1)); echo "VM: FAIL $1 (at $(ms) ms): $2"; }
# check NAME EVIDENCE SECONDS CONDITION...: PASS once CONDITION holds, else
# FAIL with what EVIDENCE prints (and status 1).
check() {
    local n=$1 e=$2 s=$3
    shift 3
    if wait_for "$s" "$@"; then ok "$n"; else bad "$n" "$(eval "$e")"; return 1; fi
}
wait_for() {
    local end=$(($(ms) + $1 * 1000))
    shift
    until "$@"; do [ "$(ms)" -lt $end ] && sleep 0.2 || return 1; done
}
finish() {
    echo "VM: done, $failed failed, $passed passed"
    grep -qw vmshell /proc/cmdline && sleep 3600
    poweroff -f
}
trap finish EXIT

# Stations: one wpa_supplicant a radio, one network at a time.
sta() { local i=$1; shift; wpa_cli -p /var/run/wpa -i "wlan$i" "$@"; }
forget() { sta "$1" bssid_ignore clear >/dev/null; sta "$1" remove_network all >/dev/null; }
# net I NAME VALUE...: station I on one network so set.
net() {
    local i=$1
    shift
    forget "$i"
    sta "$i" add_network >/dev/null
    set -- scan_freq "2412 2437 2462 2472" "$@"
    while [ $# -ge 2 ]; do
        sta "$i" set_network 0 "$1" "$2" | grep -q OK || echo "VM: station $i refused $1 $2"
        shift 2
    done
    sta "$i" select_network 0 >/dev/null
}
psk() { net "$1" ssid "\"$2\"" psk "\"$3\"" scan_ssid 1; }
joined() {
    local s=$(sta "$1" status)
    echo "$s" | grep -qx wpa_state=COMPLETED && { [ -z "${2:-}" ] || echo "$s" | grep -qx "ssid=$2"; }
}
apart() { ! joined "$1"; }
st() { sta "$1" status | grep -E '^(wpa_state|ssid|bssid|key_mgmt|pairwise_cipher)=' | tr '\n' ' '; }
mark() { eval "m$1=$(wc -l < "/tmp/sta$1.log")"; }
logged() { eval "tail -n +\$((m$1 + 1)) /tmp/sta$1.log" | grep -q "$2"; }
slog() { tail -n "${2:-3}" "/tmp/sta$1.log" | tr '\n' '|'; }
hlog() { tail -n "${1:-4}" /var/dorvan/radio/hostapd.log 2>&1 | tr '\n' '|'; }
# The listener: SSID $1 heard on frequency $2 (beacon or probe response).
scan() { timeout 5 iw dev wlan6 scan flush freq "$1" 2>&1; }
heard() { scan "$2" | grep -q "SSID: $1\$"; }
ask() { reply=$(dorvan "$@" 2>&1); t=$(ms); }
# press CODE SECONDS: a board key held that long.
press() { echo "key $1 1" >&3; sleep "$2"; echo "key $1 0" >&3; }

ip link set lo up
modprobe mac80211_hwsim radios=7 support_p2p_device=0 || { bad modules "$(modprobe mac80211_hwsim 2>&1)"; exit; }
modprobe -a uinput evdev ccm ctr cmac michael_mic
check regdb 'iw reg get | head -n 2 | tr "\n" "|"; dmesg | grep -i regulatory | tail -n 2' 5 \
    sh -c 'iw reg set DE && iw reg get | grep -q "^country DE"'
iw reg set US

# The board: reset and WPS keys and the wireless switch (on) on one device.
mkfifo /tmp/keys
exec 3<>/tmp/keys
vm_keys < /tmp/keys > /tmp/keys.out 2>&1 &
evdev() { d=$(head -n 1 /tmp/keys.out) && [ -n "$d" ] && ev=$(ls "/sys/class/input/$d" | grep '^event') && [ -e "/dev/input/$ev" ]; }
wait_for 5 evdev || bad board "$(cat /tmp/keys.out)"
echo "sw 3 1" >&3
printf "%s evdev /dev/input/$ev %s\n" reset KEY_RESTART wps KEY_WPS_BUTTON switch SW_RFKILL_ALL > /etc/dorvan/board.conf
for s in nbtscan nvram; do printf '#!/bin/sh\necho "$@" >> /tmp/%s.log\n' $s > /usr/local/bin/$s; done
chmod 755 /usr/local/bin/*
printf 'wlWpaPsk_wl0v%s=factory-pass-%s\n' 0 0 1 1 2 2 3 3 > /etc/dorvan/device.conf

printf 'ctrl_interface=/var/run/wpa\np2p_disabled=1\nfreq_list=2412 2437 2462 2472\n' > /tmp/sta.conf
for i in 1 2 3 4 5; do wpa_supplicant -B -t -i "wlan$i" -c /tmp/sta.conf -f "/tmp/sta$i.log"; done
ip link set wlan6 up
wait_for 5 sh -c 'for i in 1 2 3 4 5; do wpa_cli -p /var/run/wpa -i wlan$i scan_interval 1 | grep -q OK || exit 1; done'

export DORVAN_RADIO=hostapd DORVAN_HOSTAPD_DRIVER=nl80211 DORVAN_RADIO_IFNAME=wlan0 \
    DORVAN_PICKUP=immediate DORVAN_TRACE=/tmp/trace DORVAN_LOG=/tmp/dorvand.log
t0=$(ms)
dorvand -v 5 > /tmp/dorvand.out 2>&1 &

# 1. Factory settings on the air.
check factory-beacon 'hlog 6; tail -n 3 /tmp/dorvand.log | tr "\n" "|"' 30 heard Dorvan 2437 &&
    echo "VM: FIGURE dorvand start to first beacon: $(($(ms) - t0)) ms"
sees() { sta 1 scan freq=2437 >/dev/null; sta 1 scan_results | grep -q "WPA2-PSK-CCMP.*Dorvan$"; }
check factory-wpa2-ccmp 'sta 1 scan_results | tr "\t\n" " |"' 10 sees
psk 1 Dorvan factory-pass-0
check factory-join 'st 1; slog 1' 20 joined 1 Dorvan

# A wrong passphrase fails.
mark 2
psk 2 Dorvan wrong-pass-9
check wrong-passphrase 'st 2; slog 2 4' 30 logged 2 'reason=WRONG_KEY'

# 2 and 3. Which stations each change drops: the guest networks beside wl0
# (wl0.1 by dorvan, wl0.2 and wl0.3 by dorvan-cfg: one store, picked up at
# the next pass), then one change at a time. A row: the change, the
# interfaces whose joined stations may drop ("all": the four), the commands,
# the condition that shows it on the air, what the stations do then.
# Station I's network is "SSID PASS" in nI, "-" while it must stay apart.
settled() {
    local i
    for i in 1 2 3 4; do
        set -- $(eval echo "\$n$i")
        if [ "$1" = - ]; then apart "$i"; else joined "$i" "$1"; fi || return 1
    done
}
settle() { eval "$1"; settled; }
# moved I SSID PASS: station I, once dropped, is pointed at SSID and PASS.
moved() {
    if [ "$(eval echo "\$n$1")" != "$2 $3" ]; then
        logged "$1" CTRL-EVENT-DISCONNECTED || return 1
        eval "n$1='$2 $3'" && psk "$@"
    fi
    joined "$1" "$2"
}
gone() { scan "$2" > /tmp/scan; grep -q 'SSID: ' /tmp/scan && ! grep -q "SSID: $1\$" /tmp/scan; }
drops() {
    while IFS='|' read -r name want cmd cond then <&4; do
        wait_for 40 settled
        was= got= why= tm=$(wc -l < /tmp/trace)
        for i in 1 2 3 4 5; do mark $i; done
        for i in 1 2 3 4; do joined $i && was="$was $i"; done
        eval "$cmd"
        if wait_for 30 eval "$cond"; then air="$(($(ms) - t)) ms"; else air=never why=" not on the air: $cond;"; fi
        wait_for 40 settle "$then" || why="$why stations not back: $(for i in 1 2 3 4; do st $i; done)"
        for i in $was; do logged $i CTRL-EVENT-DISCONNECTED && got="$got,wl0$([ $i = 1 ] || echo .$((i - 1)))"; done
        got=${got#,}; [ "$got" != wl0,wl0.1,wl0.2,wl0.3 ] || got=all; got=${got:-none}
        means=$(tail -n +$((tm + 1)) /tmp/trace | grep '^apply' | cut -f2- | tr '\t\n' ' ,')
        echo "VM: DROPS $name dropped=$got expected=$want on-air=$air means=${means%,}"
        table="$table$(printf '\nVM: %-18s %-16s %-16s %-9s %s' "$name" "$got" "$want" "$air" "${means%,}")"
        [ "$got" = "$want" ] || [ "${DORVAN_VM_DROPS:-}" = report ] || why="$why dropped $got;"
        if [ -z "$why" ]; then ok "drops-$name"; else bad "drops-$name" "$why $reply $(hlog)"; fi
    done
}
for i in 1 2 5; do eval "mac$i=$(cat /sys/class/net/wlan$i/address)"; done
table= n1="Dorvan factory-pass-0" n2=- n3=- n4=-
drops 4<<'EOF'
on-wl0.1|none|ask wlinterface enable --interface wl0.1 --wlSsid Guest1; psk 2 Guest1 factory-pass-1|joined 2 Guest1|n2='Guest1 factory-pass-1'
cfg-wl0.2-wl0.3|none|dorvan-cfg set wlEnbl_wl0v2 1 wlSsid_wl0v2 Guest2 wlEnbl_wl0v3 1 wlSsid_wl0v3 Guest3 >/dev/null; t=$(ms); psk 3 Guest2 factory-pass-2; psk 4 Guest3 factory-pass-3|joined 3 Guest2 && joined 4 Guest3|n3='Guest2 factory-pass-2' n4='Guest3 factory-pass-3'
EOF
four() { local o b; o=$(scan 2437); for b in Dorvan Guest1 Guest2 Guest3; do echo "$o" | grep -q "SSID: $b\$" || return 1; done; }
check four-bss 'scan 2437 | grep -E "^BSS|SSID|fail"| tr "\n" " "; dorvan-cfg radio | grep "^# hostapd"; hlog' 20 four
drops 4<<'EOF'
ssid-wl0.1|wl0.1|ask wlinterface enable --interface wl0.1 --wlSsid GuestA|heard GuestA 2437|moved 2 GuestA factory-pass-1
off-wl0.3|wl0.3|ask wlinterface disable --interface wl0.3|gone Guest3 2437|n4=-
on-wl0.3|none|ask wlinterface enable --interface wl0.3|heard Guest3 2437|n4='Guest3 factory-pass-3'
psk-wl0.2|wl0.2|ask wlsecurity manualsetup --interface wl0.2 --wlAuthMode psk2 --wlWpaPsk guest-pass-2|moved 3 Guest2 guest-pass-2|
psk-wl0|wl0|ask wlsecurity manualsetup --interface wl0 --wlAuthMode psk2 --wlWpaPsk home-pass-2|moved 1 Dorvan home-pass-2|
deny-other-wl0.1|none|ask wlmacfilter addmac --interface wl0.1 --macaddr $mac5; ask wlmacfilter deny --interface wl0.1; psk 5 GuestA factory-pass-1|logged 5 AUTH-REJECT|sta 5 disconnect >/dev/null
deny-joined-wl0.1|wl0.1|ask wlmacfilter addmac --interface wl0.1 --macaddr $mac2|logged 2 AUTH-REJECT|n2=-
filter-off-wl0.1|none|ask wlmacfilter disable --interface wl0.1|joined 2 GuestA|n2='GuestA factory-pass-1'
hide-wl0.2|none|ask wlinterface enable --interface wl0.2 --wlHide 1|gone Guest2 2437|
ssid-wl0|all|ask wlinterface enable --interface wl0 --wlSsid Home|heard Home 2437|moved 1 Home home-pass-2
channel|none|ask wladv config --wlChannel 11|heard Home 2462|
allow-wl0|none|ask wlmacfilter addmac --interface wl0 --macaddr $mac1; ask wlmacfilter allow --interface wl0; psk 5 Home home-pass-2|logged 5 AUTH-REJECT|sta 5 disconnect >/dev/null
filter-off-wl0|none|ask wlmacfilter disable --interface wl0; psk 5 Home home-pass-2|sta 5 bssid_ignore clear >/dev/null; joined 5 Home|sta 5 disconnect >/dev/null
EOF
printf 'VM: DROPS %-12s %-16s %-16s %-9s %s%s\n' change dropped expected on-air means "$table"

# 4. WPS: push button by command (wl0 and wl0.1), by the button, and a PIN.
wps() { forget "$1"; sta "$1" "$2" $3 >/dev/null; mark "$1"; }
wps_ok() { logged "$1" WPS-SUCCESS && joined "$1" "$2"; }
# traced OP [N]: dorvand handed hostapd more than N (0) WPS operations OP.
traced() { [ "$(grep -c "wps	$1" /tmp/trace)" -gt "${2:-0}" ]; }
ask wlsecurity wpssetup --interface wl0 --operation addenrollee_PBC
wait_for 30 traced WPS_PBC
wps 1 wps_pbc
check wps-pbc-command 'echo "$reply"; st 1; slog 1; hlog; tail -n 2 /tmp/dorvand.log' 40 wps_ok 1 Home
n=$(grep -c 'wps	WPS_PBC' /tmp/trace)
press 529 5
check wps-button-sent 'dorvan-cfg board; tail -n 3 /tmp/dorvand.log' 5 traced WPS_PBC "$n"
wps 4 wps_pbc
check wps-pbc-button 'st 4; slog 4; hlog' 40 wps_ok 4 Home
ask wlsecurity wpssetup --interface wl0 --operation addenrollee_Pin --wlWscStaPin 12345670
wait_for 10 traced WPS_PIN
wps 3 wps_pin "any 12345670"
check wps-pin 'echo "$reply"; st 3; slog 3; hlog' 40 wps_ok 3 Home
# The guest's push button reaches its own BSS. A station is not asked to
# join: hostapd pushes the button on every BSS with WPS on, and stations
# take wl0's credentials.
ask wlsecurity wpssetup --interface wl0.1 --operation addenrollee_PBC
pbc() { hostapd_cli -p /var/run/hostapd -i wlan0-1 wps_get_status 2>&1 | grep -q 'PBC Status: Active'; }
check wps-pbc-guest 'echo "$reply"; grep WPS /tmp/dorvand.log | tail -n 2' 40 pbc
hostapd_cli -p /var/run/hostapd -i wlan0-1 wps_cancel > /dev/null

# 5. The wireless switch and wlinterface disable take the radio down.
echo "sw 3 0" >&3
off() { apart 1 && ! heard Home 2462; }
check switch-off-air 'st 1; scan 2437 | grep SSID; hlog' 20 off
echo "sw 3 1" >&3
check switch-on 'st 1; slog 1; hlog' 40 joined 1 Home
[ ! -e /etc/no-gpio-sim ] ||
    echo "VM: CANNOT switch-gpio-sim: $(modprobe gpio-sim 2>&1); kernel config: $(cat /etc/no-gpio-sim)"
ask wlinterface disable --interface wl0
check disable-air 'echo "$reply"; st 1; hlog' 20 off
ask wlinterface enable --interface wl0
check enable-rejoin 'echo "$reply"; st 1; slog 1; hlog' 40 joined 1 Home

# 6. The reset key held five passes: factory settings back on the air.
press 408 6
psk 1 Dorvan factory-pass-0
check reset-factory 'st 1; slog 1; hlog; tail -n 3 /tmp/dorvand.log' 60 joined 1 Dorvan

# 7. Channel and country.
ask wladv config --wlChannel 13
refused() { echo "$reply" | grep -q "not in the current channel list" && heard Dorvan 2437; }
check channel-13-refused-in-US 'echo "$reply"; scan 2437 | grep SSID' 30 refused
dorvan-cfg set wlCountry DE > /dev/null
wait_for 30 heard Dorvan 2437
ask wladv config --wlChannel 13
check channel-13-in-DE 'echo "$reply"; scan 2472 | grep SSID; iw reg get | head -n 2; hlog' 30 heard Dorvan 2472
check channel-13-join 'st 1; slog 1' 30 joined 1 Dorvan

# 8. Security modes the settings map allows, each with a matching station:
# mode NAME 'OPTIONS' NETWORK...: station 1 joins wl0 set to OPTIONS.
mode() {
    local n=$1 o=$2
    shift 2
    ask wlsecurity manualsetup --interface wl0 $o
    net 1 ssid '"Dorvan"' "$@"
    check "$n" 'echo "$reply"; st 1; slog 1 4; hlog; tail -n 3 /tmp/radius.log 2>&1 | tr "\n" "|"' 30 joined 1 Dorvan
}
mode open "--wlAuthMode open" key_mgmt NONE
mode wpa-psk-tkip "--wlAuthMode psk --wlWpa tkip --wlWpaPsk mode-pass-1" psk '"mode-pass-1"' proto WPA pairwise TKIP group TKIP
mode wpa2-mixed "--wlAuthMode psk2mix --wlWpa tkip+aes --wlWpaPsk mode-pass-2" psk '"mode-pass-2"' proto RSN pairwise CCMP
net 4 ssid '"Dorvan"' psk '"mode-pass-2"' proto WPA pairwise TKIP group TKIP
check wpa2-mixed-tkip 'st 4; slog 4; hlog' 30 joined 4 Dorvan
mode wep "--wlAuthMode open --wlWep enabled --wlKeyBit 1 --wlKey1 abcde --wlKeyIndex 1" key_mgmt NONE wep_key0 '"abcde"' wep_tx_keyidx 0
# WPA2-Enterprise against a local RADIUS server: a second hostapd (no
# radio) with its integrated RADIUS and EAP-PSK server, on loopback.
printf '127.0.0.1/32 radius-secret\n' > /tmp/radius.clients
printf '"alice" PSK 00112233445566778899aabbccddeeff\n' > /tmp/eap.users
printf 'driver=none\ninterface=rad0\nssid=radius\neap_server=1\neap_user_file=/tmp/eap.users\nradius_server_clients=/tmp/radius.clients\nradius_server_auth_port=1812\n' > /tmp/radius.conf
hostapd -B /tmp/radius.conf > /tmp/radius.log 2>&1
mode wpa2-radius "--wlAuthMode wpa2 --wlWpa aes --wlRadiusServerIP 127.0.0.1 --wlRadiusPort 1812 --wlRadiusKey radius-secret" \
    key_mgmt WPA-EAP eap PSK identity '"alice"' password 00112233445566778899aabbccddeeff
