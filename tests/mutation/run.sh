#!/usr/bin/env bash
# Applies each hand-written source mutation of a list, one at a time, to a
# copy of the tree, rebuilds, and runs the test suite: a mutation that no test
# notices marks a gap (or a test that cannot fail).
#
#   bash tests/mutation/run.sh [LIST] [ID...]
#
# LIST (default tests/mutation/list.txt) has one mutation a line:
#   ID <TAB> FILE <TAB> OLD <TAB> NEW <TAB> WHAT
# OLD must occur exactly once in FILE; \t and \n in OLD and NEW stand for a
# tab and a line feed. Lines starting with # are comments. Work happens in
# MUT_DIR (default /tmp/dorvan-mutation); the source tree is never touched.
# The suite runs in stages, cheapest first, and stops at the first failure:
# unit_tests, then e2e_tests, then the rest of ctest. Each gtest binary runs
# as MUT_SHARDS (default 4) shards side by side, e2e_tests as MUT_E2E_SHARDS
# (default 2): the tests mostly wait.
# Exit status 0 when every mutation was killed.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
list=${1:-$top/tests/mutation/list.txt}
shift $(( $# > 0 ? 1 : 0 ))
only=" $* "
work=${MUT_DIR:-/tmp/dorvan-mutation}
rm -rf "$work/src" && mkdir -p "$work/src"
tar -C "$top" --exclude='./build*' --exclude=./.git --exclude=./demo -cf - . | tar -C "$work/src" -xf -
cmake -S "$work/src" -B "$work/build" -G Ninja -DDORVAN_TESTS=ON > "$work/configure.log"
cmake --build "$work/build" -j2 > "$work/build.log" || { echo "the unmutated tree does not build"; exit 2; }
shards=${MUT_SHARDS:-4}

# One gtest binary in $shards parallel shards; 0 when all pass, else prints
# the first failing test's name.
gtest_sharded() {  # BINARY LOG
  local pids=() failed=() name
  for ((k = 0; k < shards; k++)); do
    GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$k timeout 600 "$1" > "$2.$k" 2>&1 & pids+=($!)
  done
  for ((k = 0; k < shards; k++)); do wait "${pids[k]}" || failed+=("$2.$k"); done
  [ ${#failed[@]} -eq 0 ] && return 0
  name=$(cat "${failed[@]}" | grep -m1 -E '^\[  FAILED  \] [A-Za-z]' | sed -E 's/^\[  FAILED  \] ([^ ,]+).*/\1/')
  # No failure line: the binary died inside the test it last started.
  [ -n "$name" ] || name="$(grep -h -E '^\[ RUN      \]' "${failed[0]}" | tail -n 1 | sed -E 's/^\[ RUN      \] //') (died)"
  echo "$name"
  return 1
}

# The staged suite against the build; prints what failed first.
suite() {  # LOGPREFIX
  # The unit tests also run the programs: build them with the mutation too.
  cmake --build "$work/build" -j2 --target unit_tests dorvand dorvan dorvan-cfg > "$1.build" 2>&1 ||
    { echo nobuild; return 2; }
  gtest_sharded "$work/build/tests/unit_tests" "$1.unit" || return 1
  cmake --build "$work/build" -j2 > "$1.build" 2>&1 || { echo nobuild; return 2; }
  # Fewer shards here: several e2e tests time the daemon's passes.
  shards=${MUT_E2E_SHARDS:-2} gtest_sharded "$work/build/tests/e2e_tests" "$1.e2e" || return 1
  ctest --test-dir "$work/build" -j2 --timeout 300 -R '^(board_bitmap|fuzz_)' > "$1.rest" 2>&1 && return 0
  grep -m1 -E '\*\*\*Failed|\*\*\*Timeout|\(Failed\)|\(Timeout\)|Exception' "$1.rest" \
    | sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/'
  return 1
}

# MUT_NO_BASELINE=1 skips the run of the unmutated tree (another worker on
# the same tree made it).
if [ -z "${MUT_NO_BASELINE:-}" ] && ! base=$(suite "$work/baseline" < /dev/null); then
  echo "the unmutated tree fails its tests: $base (see $work/baseline.*)"; exit 2
fi

apply() {  # FILE OLD NEW -> 0 applied, 3 OLD not found exactly once
  python3 -c 'import sys
o, n = (a.replace("\\t", "\t").replace("\\n", "\n") for a in sys.argv[2:4])
t = open(sys.argv[1], encoding="latin-1").read()
sys.exit(3) if t.count(o) != 1 else open(sys.argv[1], "w", encoding="latin-1").write(t.replace(o, n))' "$@"
}

killed=0; survived=0; invalid=0
printf '%-5s %-9s %-40s %s\n' ID RESULT FILE "WHAT (killed by)"
while IFS= read -r line; do
  # Tab is IFS white space, which would merge an empty field away.
  IFS=$'\x1f' read -r id file old new what <<< "${line//$'\t'/$'\x1f'}"
  case "$id" in ''|'#'*) continue ;; esac
  [ "$only" = "  " ] || [[ "$only" == *" $id "* ]] || continue
  target="$work/src/$file"
  cp "$target" "$work/orig"
  result=invalid; by=""
  if apply "$target" "$old" "$new"; then
    by=$(suite "$work/m-$id" < /dev/null) && result=SURVIVED || { [ $? -eq 2 ] && result=nobuild || result=killed; }
    [ "$result" = killed ] || by=""
  fi
  cp "$work/orig" "$target"; touch "$target"
  case $result in killed) killed=$((killed+1)) ;; SURVIVED) survived=$((survived+1)) ;; *) invalid=$((invalid+1)) ;; esac
  printf '%-5s %-9s %-40s %s%s\n' "$id" "$result" "$file" "$what" "${by:+ ($by)}"
done < "$list"
cmake --build "$work/build" -j2 > /dev/null
echo "$killed killed, $survived survived, $invalid not applied or not built"
[ "$survived" -eq 0 ] && [ "$invalid" -eq 0 ]
