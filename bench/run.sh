#!/bin/bash
# Builds what the benchmarks need and writes every figure to bench/RESULTS.md.
#   bash bench/run.sh            everything (about 6 minutes: the latency run
#                                sends 200 requests at the real one-second pass)
#   QUICK=1 bash bench/run.sh    without the latency run and the -Os build
# BUILD=dir picks the build folder (default build-bench), NOBUILD=1 uses it as is.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
BUILD=${BUILD:-$SRC/build-bench}
BUILD_OS=${BUILD_OS:-$SRC/build-bench-os}
OUT=${OUT:-$SRC/bench/RESULTS.md}
TMPFS=/dev/shm
DISK=/var/tmp

build() {
    cmake -S "$SRC" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORVAN_TESTS=OFF "${@:2}" >/dev/null
    cmake --build "$1" -j2 --target dorvand dorvan dorvan_bench >/dev/null
}
if [ -z "${NOBUILD:-}" ]; then
    build "$BUILD"
    [ -n "${QUICK:-}" ] || build "$BUILD_OS" -DDORVAN_SIZE=ON
fi
B=$BUILD/bench/dorvan_bench

fstype() { stat -f -c %T "$1"; }
other_load() { uptime | sed 's/.*load average/load average/'; }

# Bytes and fsyncs of one change: strace of the request alone (between the
# bench's MARK and DONE writes).
save_cost() {
    local st
    st=$(mktemp)
    strace -f -y -e trace=openat,write,fsync,fdatasync,rename,unlink -o "$st" \
        "$B" one --root-base "$1" "wlinterface enable --interface wl0.1 --wlSsid Guest" >/dev/null
    sed -n '/MARK/,/DONE/p' "$st" | awk '
        /^[0-9]+ +write\(/ && !/MARK|DONE/ {
            n = $NF; split($0, a, "<"); split(a[2], b, ">");
            if (b[1] ~ /param_fifo2/) reply += n; else { file += n; files[b[1]] += n } }
        / fsync\(/ { fsyncs++; if (match($0, /<[^>]*>/)) synced = synced " " substr($0, RSTART + 1, RLENGTH - 2) }
        /fdatasync\(/ { fdatasyncs++ }
        /rename\(/ { renames++ }
        END {
            printf "| bytes written to files | %d |\n| bytes written to the reply pipe | %d |\n", file, reply;
            printf "| fsync / fdatasync calls | %d / %d |\n| renames | %d |\n", fsyncs, fdatasyncs, renames;
            gsub(/\/[^ ]*dorvan-bench-[A-Za-z0-9]+/, "", synced);
            printf "| files synced | %s |\n", synced }'
    rm -f "$st"
}

# strace -c of a daemon over idle passes (DORVAN_PASS_MS=50, attached after
# start-up, the first wireless sync and the first scan).
idle_syscalls() {
    local root pid st
    root=$(mktemp -d "$1/dorvan-idle-XXXXXX")
    mkdir -p "$root/stubs" "$root/var"
    printf '#!/bin/sh\nexit 0\n' >"$root/stubs/nbtscan"; cp "$root/stubs/nbtscan" "$root/stubs/nvram"
    chmod +x "$root/stubs/"*
    DORVAN_PICKUP=${2:-pass} DORVAN_ROOT=$root DORVAN_PASS_MS=50 PATH=$root/stubs:/usr/bin:/bin "$BUILD/dorvand" >/dev/null 2>&1 &
    pid=$!
    sleep 1.5
    st=$(mktemp)
    timeout -s INT 3.1 strace -c -p "$pid" -o "$st" >/dev/null 2>&1 || true
    kill "$pid"; wait "$pid" 2>/dev/null || true
    local passes
    # A default pass sleeps once, an immediate one polls once.
    passes=$(awk '$NF ~ /nanosleep|^poll$/ {print $4}' "$st")
    echo "Passes observed (DORVAN_PICKUP=${2:-pass}): $passes (one nanosleep or poll each)."
    echo
    echo '| syscall | calls | per pass |'
    echo '|---|---:|---:|'
    awk -v p="$passes" '$NF ~ /^[a-z_0-9]+$/ && $4 ~ /^[0-9]+$/ && $NF != "total" {
        printf "| %s | %d | %.2f |\n", $NF, $4, $4 / p }' "$st"
    rm -rf "$st" "$root"
}

footprint() {
    local b=$1 s
    s=$(mktemp)
    strip -o "$s" "$b/dorvand"
    echo "| stripped dorvand | $(stat -c %s "$s") bytes |"
    echo "| text / data / bss | $(size "$s" | awk 'NR==2 {print $1 " / " $2 " / " $3}') |"
    rm -f "$s"
}

{
    echo "# dorvan benchmark results"
    echo
    echo "Produced by \`bash bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD)$(git diff --quiet -- . ':!bench/RESULTS.md' || echo '+changes')."
    echo "Host: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(uname -r); $(other_load)."
    echo "Busy processes besides the benchmark: $(ps -eo pcpu=,comm= --sort=-pcpu | awk '$1 > 20 && $2 !~ /dorvan|run.sh|ps/ {printf "%s(%s%%) ", $2, $1}')"
    echo "tmpfs root: $TMPFS ($(fstype $TMPFS)); disk root: $DISK ($(fstype $DISK), $(df --output=source $DISK | tail -1))."
    echo "Build: $BUILD (RelWithDebInfo: -O2)."
    for base in "$TMPFS" "$DISK"; do
        echo
        echo "## Service time per sub-command, root on $base ($(fstype $base))"
        echo
        echo "Request read to reply written (\`process_wlCLI_PIPE()\` in process, reply FIFO read by the bench)."
        echo "Floor for views: the same request and reply bytes through the same FIFOs, nothing else."
        echo "Floor for changes: one atomic, fsync'd replace (temp, fsync, rename, directory fsync) of the stored file's bytes."
        echo "\`saves\`: the flash file was replaced. Command: \`$B service --root-base $base --reps 200\`"
        echo
        "$B" service --root-base "$base" --reps 200 || echo "(some rows failed their checks)"
        echo
        echo "## Save cost, root on $base"
        echo
        echo "One change (\`wlinterface enable --interface wl0.1 --wlSsid Guest\`), from strace:"
        echo
        echo '| figure | value |'
        echo '|---|---|'
        save_cost "$base"
        echo
        echo "Save time (store + save of a change: \`wla_commit()\`) against the names stored, and the idle pass:"
        echo "\`$B gbench --root-base $base --benchmark_min_time=0.5s\`"
        echo
        "$B" gbench --root-base "$base" --benchmark_min_time=0.5s 2>/dev/null
    done
    echo
    echo "## Channel check, root on $TMPFS"
    echo
    echo "\`wladv config --wlChannel 6\` (its channel-list query, then store and save) with the installed regulatory.db and with no database (compiled-in world rules):"
    echo "\`$B channel --root-base $TMPFS --reps 500\`, the second with \`DORVAN_REGDB=/nonexistent\`"
    echo
    "$B" channel --root-base "$TMPFS" --reps 500 || echo "(failed its checks)"
    DORVAN_REGDB=/nonexistent "$B" channel --root-base "$TMPFS" --reps 500 | tail -n 1 || echo "(failed its checks)"
    echo
    echo "## Idle cost"
    echo
    echo "System calls of idle passes: \`strace -c -p PID\` of \`DORVAN_PASS_MS=50 dorvand\` for 3 s after start-up (root on $TMPFS)."
    echo
    idle_syscalls "$TMPFS"
    echo
    idle_syscalls "$TMPFS" immediate
    echo
    echo "## Footprint"
    for b in "$BUILD" $([ -n "${QUICK:-}" ] || echo "$BUILD_OS"); do
        echo
        echo "### $(basename "$b") ($(grep -q 'DORVAN_SIZE:BOOL=ON' "$b/CMakeCache.txt" && echo '-Os' || echo '-O2'))"
        echo
        echo "Memory from /proc/PID/smaps_rollup and CPU from /proc/PID/schedstat of \`DORVAN_PASS_MS=1 dorvand\` (root on $TMPFS); 10,000 requests cycling through all 18 sub-commands."
        echo "Command: \`$B daemon --root-base $TMPFS --bin $b --requests 10000\`"
        echo
        echo '| figure | value |'
        echo '|---|---|'
        footprint "$b"
        "$B" daemon --root-base "$TMPFS" --bin "$b" --requests 10000 || echo "| (some requests failed) | |"
    done
    if [ -x /usr/sbin/hostapd ]; then
        echo
        echo "## Radio: stored change to hostapd showing it"
        echo
        echo "hostapd 2.10 with driver=none. From the request being read to hostapd's control socket showing the new SSID (GET_CONFIG, re-read path) or the new channel (STATUS, restart path); floor: the same file change with hostapd told directly (SIGHUP; SIGTERM, wait, start)."
        echo "Command: \`$B radio --root-base $TMPFS --reps 20\`"
        echo
        "$B" radio --root-base "$TMPFS" --reps 20 || echo "(some changes not seen)"
    fi
    if [ -z "${QUICK:-}" ]; then
        echo
        echo "## End-to-end latency through \`dorvan\` at the real one-second pass"
        echo
        echo "200 runs of the \`dorvan\` program (all 18 sub-commands in turn), each after a random pause of 0-1 s; from spawn to exit; both pickup modes side by side (\`DORVAN_PICKUP\`)."
        for base in "$TMPFS" "$DISK"; do
            (
                echo
                echo "Root on $base: \`$B latency --root-base $base --bin $BUILD --requests 200 --pickup pass,immediate\`"
                echo
                "$B" latency --root-base "$base" --bin "$BUILD" --requests 200 --pickup pass,immediate ||
                    echo "(failed requests, or a target missed: pass max < 1.1 s, immediate p50 < 5 ms and p99 < 20 ms)"
            ) >"$OUT.lat.$(basename $base)" &
        done
        wait
        for base in "$TMPFS" "$DISK"; do cat "$OUT.lat.$(basename $base)"; rm -f "$OUT.lat.$(basename $base)"; done
    fi
} >"$OUT.new"
mv "$OUT.new" "$OUT"
echo "wrote $OUT"
