#!/bin/sh
# Installs the build into a scratch DESTDIR and checks what a gateway image
# gets: exactly the programs, man pages, completion, service files and their
# settings; the pages render without warnings; the init script starts,
# restarts and stops a real dorvand on a private root, detached from the
# terminal that started it, and never beside another dorvand on that root;
# two starts at once leave one daemon that both name.
# usage: install_test.sh BUILD_DIR DORVAND DORVAN
set -u
build=$1 dorvand=$2 dorvan=$3
tmp=$(mktemp -d)
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
cleanup() {
    [ -n "${pid:-}" ] && kill -9 "$pid" 2>/dev/null
    # A start gone wrong can leave a daemon that no pid file names.
    [ -n "${lock:-}" ] && find /proc/[0-9]*/fd -lname "$lock" 2>/dev/null | cut -d/ -f3 | xargs -r kill -9 2>/dev/null
    [ -n "${holder:-}" ] && kill "$holder" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

dest=$tmp/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; fail "cmake --install"; exit 1; }

got=$(cd "$dest" && find . -type f | sed 's|^\./||' | sort)
[ "$got" = "$(cat "$(dirname "$0")/files.txt")" ] || fail "installed files differ:
$got"
grep -q '^complete -F _dorvan dorvan$' "$dest/usr/share/bash-completion/completions/dorvan" ||
    fail "completion script incomplete"

# The service files name the installed daemon and settings file, also under
# another prefix, which keeps everything, /etc included, under it.
DESTDIR=$tmp/local cmake --install "$build" --prefix /opt/dorvan >/dev/null 2>&1
for d in "$dest /usr /etc" "$tmp/local /opt/dorvan /opt/dorvan/etc"; do
    set -- $d
    grep -qx "DAEMON=\${DAEMON:-$2/sbin/dorvand}" "$1$3/init.d/dorvand" &&
    grep -qx "DEFAULTS=\${DEFAULTS:-$3/default/dorvand}" "$1$3/init.d/dorvand" &&
    grep -qx "EnvironmentFile=-$3/default/dorvand" "$1$2/lib/systemd/system/dorvand.service" &&
    grep -qx "ExecStart=$2/sbin/dorvand \$DORVAND_OPTS" "$1$2/lib/systemd/system/dorvand.service" ||
        fail "service files under $2 do not name $2/sbin/dorvand and $3/default/dorvand"
done

if command -v man >/dev/null 2>&1 && command -v groff >/dev/null 2>&1; then
    for page in "$dest"/usr/share/man/man*/*; do
        out=$({ MANWIDTH=80 man --warnings -l "$page" | awk 'length > 80' | head -3; } 2>&1)
        [ -z "$out" ] || fail "$(basename "$page") warns or has lines over 80 columns: $out"
    done
else
    echo "man/groff missing: pages not rendered"
fi

# The init script knows its daemon by /proc/PID/exe, which names the
# emulator when a cross build's dorvand runs through its wrapper script.
if [ "$(head -c 2 "$dorvand")" = '#!' ]; then
    echo "dorvand runs through $dorvand: the init script not run"
    exit $((fails > 0))
fi
# The init script on a private root, with stubs first on PATH so that no
# real nvram or nbtscan can run, and its own settings file.
root=$tmp/root
mkdir -p "$root/var/dorvan" "$tmp/stubs"
for s in nvram nbtscan; do printf '#!/bin/sh\nexit 0\n' >"$tmp/stubs/$s"; chmod +x "$tmp/stubs/$s"; done
printf 'DORVAN_TRACE=%s\nDORVAND_OUT=%s\n' "$tmp/trace" "$tmp/dorvand.out" >"$tmp/default"
export DORVAN_ROOT="$root" PATH="$tmp/stubs:$PATH" PIDFILE="$tmp/run/dorvand.pid" DAEMON="$dorvand" \
       DEFAULTS="$tmp/default"
init=$dest/etc/init.d/dorvand
lock=$root/var/dorvan/dorvand.lock
# Started from a terminal that then hangs up (a logout, ssh -t): the daemon
# has a session of its own and lives on.
script -qec "$init start" /dev/null </dev/null >"$tmp/out" 2>&1 || fail "start: $(cat "$tmp/out")"
pid=$(cat "$PIDFILE" 2>/dev/null)
sleep 1
# (status, not kill -0: a killed daemon may linger as a zombie here)
"$init" status >/dev/null || fail "daemon gone after its terminal hung up"
reply=$("$dorvan" --timeout 10 wlwds show 2>&1) || fail "no answer from the started daemon: $reply"
echo "$reply" | grep -q '^AP Mode:' || fail "wrong answer from the started daemon: $reply"
grep -q '^lock' "$tmp/trace" 2>/dev/null || fail "settings file did not reach the daemon"
"$init" restart >/dev/null 2>&1
new=$(cat "$PIDFILE" 2>/dev/null)
! kill -0 "$pid" 2>/dev/null && [ -n "$new" ] && [ "$new" != "$pid" ] && "$init" status >/dev/null ||
    fail "restart did not replace the daemon"
pid=$new
"$init" stop >/dev/null 2>&1
[ -e "$PIDFILE" ] && fail "stop left the pid file"
"$init" status >/dev/null; [ $? -eq 3 ] || fail "status of a stopped daemon is not 3"
# Another dorvand on the same root (one started by hand: no pid file, only
# its instance lock) keeps a start from running a second one.
# Two starts at once: both succeed and name the one daemon, which stop ends.
"$init" start >"$tmp/race1" 2>&1 &
"$init" start >"$tmp/race2" 2>&1 && wait $! && pid=$(cat "$PIDFILE") &&
    [ "$(cat "$tmp/race1" "$tmp/race2" | grep -c "(pid $pid)$")" = 2 ] &&
    "$init" status >/dev/null && "$init" stop >/dev/null && flock -n "$lock" true && ! [ -e "$PIDFILE.lock.d" ] ||
    fail "two starts at once: $(cat "$tmp/race1" "$tmp/race2")"
(exec 9>"$lock" && flock 9 && exec sleep 30) &
holder=$!
sleep 0.3
"$init" start >"$tmp/out" 2>&1 && fail "start beside a lock holder reported success"
grep -q 'dorvand.lock is held' "$tmp/out" || fail "refusal not explained: $(cat "$tmp/out")"
[ -e "$PIDFILE" ] && fail "refused start left a pid file"
kill "$holder"; wait "$holder" 2>/dev/null; holder=
# A stale pid file (a dead process) does not stop a start.
echo 999999 >"$PIDFILE"
"$init" start >/dev/null 2>&1 || fail "start over a stale pid file"
pid=$(cat "$PIDFILE")
"$init" stop >/dev/null 2>&1
# A daemon that cannot start (bad option) is reported.
DORVAND_OPTS=-x "$init" start >/dev/null 2>&1 && fail "start of a failing daemon reported success"
[ -e "$PIDFILE" ] && fail "failed start left a pid file"
pid=

[ $fails -eq 0 ] && echo "install test passed"
[ $fails -eq 0 ]
