#!/bin/sh
# Installs the build into a scratch DESTDIR and checks what a gateway image
# gets: exactly the programs, man pages, completion and service files; the
# pages render without warnings; the init script starts, restarts and stops
# a real dorvand on a private root.
# usage: install_test.sh BUILD_DIR DORVAND DORVAN
set -u
build=$1 dorvand=$2 dorvan=$3
tmp=$(mktemp -d)
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
cleanup() {
    [ -n "${pid:-}" ] && kill -9 "$pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

dest=$tmp/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; fail "cmake --install"; exit 1; }

expected="etc/init.d/dorvand
usr/bin/dorvan
usr/bin/dorvan-cfg
usr/lib/systemd/system/dorvand.service
usr/sbin/dorvand
usr/share/bash-completion/completions/dorvan
usr/share/man/man1/dorvan.1
usr/share/man/man8/dorvan-cfg.8
usr/share/man/man8/dorvand.8"
got=$(cd "$dest" && find . -type f | sed 's|^\./||' | sort)
[ "$got" = "$expected" ] || fail "installed files differ:
$got"
for f in usr/sbin/dorvand usr/bin/dorvan usr/bin/dorvan-cfg etc/init.d/dorvand; do
    [ -x "$dest/$f" ] || fail "$f not executable"
done
grep -qx 'ExecStart=/usr/sbin/dorvand $DORVAND_OPTS' "$dest/usr/lib/systemd/system/dorvand.service" ||
    fail "unit does not start /usr/sbin/dorvand"
grep -q '^DAEMON=${DAEMON:-/usr/sbin/dorvand}$' "$dest/etc/init.d/dorvand" ||
    fail "init script does not name /usr/sbin/dorvand"
grep -q '^complete -F _dorvan dorvan$' "$dest/usr/share/bash-completion/completions/dorvan" ||
    fail "completion script incomplete"

# Another prefix keeps everything, /etc included, under it.
DESTDIR=$tmp/local cmake --install "$build" --prefix /opt/dorvan >/dev/null 2>&1
[ -x "$tmp/local/opt/dorvan/etc/init.d/dorvand" ] || fail "init script not under /opt/dorvan/etc"
grep -q 'ExecStart=/opt/dorvan/sbin/dorvand' "$tmp/local/opt/dorvan/lib/systemd/system/dorvand.service" ||
    fail "unit does not follow the prefix"

if command -v man >/dev/null 2>&1 && command -v groff >/dev/null 2>&1; then
    for page in "$dest"/usr/share/man/man*/*; do
        out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$out" ] || fail "$(basename "$page") warns: $out"
        long=$(MANWIDTH=80 man -l "$page" 2>/dev/null | awk 'length > 80' | head -3)
        [ -z "$long" ] || fail "$(basename "$page") has lines over 80 columns: $long"
    done
else
    echo "man/groff missing: pages not rendered"
fi

# The init script on a private root, with stubs first on PATH so that no
# real nvram or nbtscan can run.
root=$tmp/root
mkdir -p "$root" "$tmp/stubs"
for s in nvram nbtscan; do printf '#!/bin/sh\nexit 0\n' >"$tmp/stubs/$s"; chmod +x "$tmp/stubs/$s"; done
export DORVAN_ROOT="$root" PATH="$tmp/stubs:$PATH" PIDFILE="$tmp/run/dorvand.pid" DAEMON="$dorvand"
init=$dest/etc/init.d/dorvand
"$init" start >"$tmp/out" 2>&1 || fail "start: $(cat "$tmp/out")"
pid=$(cat "$PIDFILE" 2>/dev/null)
[ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || fail "no running pid after start"
reply=$("$dorvan" --timeout 10 wlwds 2>&1) || fail "no answer from the started daemon: $reply"
echo "$reply" | grep -q '^usage: dorvan wlwds' || fail "wrong answer from the started daemon: $reply"
"$init" start | grep -q "already running (pid $pid)" || fail "second start did not see the first"
"$init" restart >/dev/null 2>&1
kill -0 "$pid" 2>/dev/null && fail "restart left the old daemon running"
new=$(cat "$PIDFILE" 2>/dev/null)
[ -n "$new" ] && [ "$new" != "$pid" ] && kill -0 "$new" 2>/dev/null || fail "restart started no new daemon"
pid=$new
"$init" stop >/dev/null 2>&1
kill -0 "$pid" 2>/dev/null && fail "stop left the daemon running"
[ -e "$PIDFILE" ] && fail "stop left the pid file"
"$init" status >/dev/null; [ $? -eq 3 ] || fail "status of a stopped daemon is not 3"
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
