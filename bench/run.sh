#!/usr/bin/env bash
# Times f06modes on large synthetic reports, side by side with grep (how fast
# the machine reads the report) and the classic fgets + strstr search
# (bench/classic.cpp), and measures each command's peak memory.
#
#   bench/run.sh [--quick] [--dir DIR] [--runs N]
#
#   --quick    only the small reports (1 MB and 100 MB)
#   --dir DIR  where the reports and results go (default $F06_BENCH_DIR or
#              /tmp/f06bench); reports already there are reused
#   --runs N   timed runs per command on the large reports (default 5; the
#              small ones use hyperfine's default of at least 10)
#
# The full set needs about 3.5 GB free in DIR. Remove DIR to free the space.
set -euo pipefail

quick=false
dir=${F06_BENCH_DIR:-/tmp/f06bench}
runs=5
while (($#)); do
  case $1 in
    --quick) quick=true ;;
    --dir) dir=$2; shift ;;
    --runs) runs=$2; shift ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
dir=$(realpath -m "$dir")
cd "$(dirname "$0")/.."
root=$PWD

# Builds f06modes and the two tools in Release; sets f06modes, make_report, classic.
build() {
  echo "== building (Release) in build/bench"
  cmake -S . -B build/bench -DF06_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/bench -j "$(nproc)" --target f06modes make_report classic >/dev/null
  f06modes=$root/build/bench/f06modes
  make_report=$root/build/bench/bench/make_report
  classic=$root/build/bench/bench/classic
}

# The reports: name, make_report arguments, approximate size in bytes.
# About 118 bytes a line; the typical case holds its sections in its first 50 MB.
reports_small=(
  "small-1mb|--lines 8500 --sections-at 2000|1000000"
  "medium-100mb|--lines 850000 --sections-at 200000|100000000"
)
reports_large=(
  "worst-12m-lines|--lines 12000000 --no-sections|1420000000"
  "typical-2gb|--lines 17000000 --sections-at 400000|2010000000"
)

# Makes the report unless one made with the same arguments and the same
# generator, of the size it was made with, is already there.
generate() {
  local name=$1 args=$2 report=$dir/$1.f06
  local stamp_key
  stamp_key="$args $(sha256sum bench/make_report.cpp | cut -c1-16)"
  if [ -f "$report" ] && [ -f "$report.stamp" ]; then
    local key size
    { read -r key; read -r size; } <"$report.stamp"
    if [ "$key" = "$stamp_key" ] && [ "$(stat -c %s "$report")" = "$size" ]; then
      echo "   $name.f06: reused ($size bytes)"
      return
    fi
  fi
  rm -f "$report" "$report.stamp"
  local made
  # shellcheck disable=SC2086 # args is a list of options
  made=$("$make_report" $args -o "$report")
  echo "   $made"
  printf '%s\n%s\n' "$stamp_key" "$(stat -c %s "$report")" >"$report.stamp"
}

check_space() {
  local needed=0 entry name size
  for entry in "$@"; do
    IFS='|' read -r name _ size <<<"$entry"
    [ -f "$dir/$name.f06" ] || needed=$((needed + size))
  done
  local available
  available=$(df --output=avail -B1 "$dir" | tail -1)
  df -h "$dir" | sed 's/^/   /'
  if ((needed > available - 200000000)); then
    echo "run.sh: $needed bytes needed for the reports in $dir, $available available" >&2
    exit 1
  fi
}

# Peak memory (kB) of one program, measured on the program itself rather than
# on a shell around it: peak_memory MAX_EXIT_STATUS STDIN_LINE PROGRAM ARGS...
peak_memory() {
  local max_status=$1 input=$2 out=$dir/results/time-v.txt
  shift 2
  (cd "$dir/work" && printf '%s\n' "$input" |
    /usr/bin/time -v -o "$out" "$@" >"$dir/results/command.out" 2>&1) || true
  local status
  status=$(sed -n 's/.*Exit status: //p' "$out")
  if [ -z "$status" ] || ((status > max_status)); then
    echo "run.sh: failed: $*" >&2
    cat "$out" >&2
    exit 1
  fi
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$out"
}

bench_report() {
  local name=$1 report=$dir/$1.f06 hyperfine_runs=()
  if $2; then hyperfine_runs=(--runs "$runs"); fi
  local report_q f06modes_q classic_q
  report_q=$(printf %q "$report")
  f06modes_q=$(printf %q "$f06modes")
  classic_q=$(printf %q "$classic")
  local cmd_f06modes="echo $report_q | setsid -w $f06modes_q >/dev/null"
  # grep -c exits 1 when it counts no line; only 2 is an error.
  local cmd_grep="grep -c -F 'X-C.G.' $report_q || [ \$? -eq 1 ]"
  local cmd_classic="$classic_q $report_q"

  echo
  echo "== $name.f06 ($(du -h "$report" | cut -f1))"
  "$classic" "$report" | sed 's/^/   classic: /'
  (cd "$dir/work" && sh -c "$cmd_f06modes")
  echo "   f06modes: fn.out $(wc -l <"$dir/work/fn.out") lines, pf.out $(wc -l <"$dir/work/pf.out")," \
       "mem.out $(wc -l <"$dir/work/mem.out"), mass.out $(wc -l <"$dir/work/mass.out")"

  # --output=pipe: with its output on /dev/null grep stops at the first match.
  (cd "$dir/work" && hyperfine --warmup 2 "${hyperfine_runs[@]}" --output=pipe --style basic \
    --export-json "$dir/results/$name.json" \
    -n f06modes "$cmd_f06modes" -n grep "$cmd_grep" -n classic "$cmd_classic")

  local memory_f06modes memory_grep memory_classic
  memory_f06modes=$(peak_memory 0 "$report" setsid -w "$f06modes")
  memory_grep=$(peak_memory 1 "" grep -c -F 'X-C.G.' "$report")
  memory_classic=$(peak_memory 0 "" "$classic" "$report")
  printf '%s\t%s\t%s\t%s\n' "$name" "$memory_f06modes" "$memory_grep" "$memory_classic" \
    >>"$dir/results/memory.tsv"
}

summary() {
  python3 - "$dir/results" "$@" <<'EOF'
import json, sys
results, names = sys.argv[1], sys.argv[2:]
memory = {}
with open(f"{results}/memory.tsv") as f:
    for line in f:
        name, *kb = line.split()
        memory[name] = [int(k) for k in kb]
rows = []
for name in names:
    with open(f"{results}/{name}.json") as f:
        median = {r["command"]: r["median"] for r in json.load(f)["results"]}
    f06, grep, classic = median["f06modes"], median["grep"], median["classic"]
    mem = [f"{k / 1024:.1f}" for k in memory[name]]
    rows.append([name, f"{f06:.4f}", f"{grep:.4f}", f"{classic:.4f}",
                 f"{f06 / grep:.2f}", f"{classic / f06:.2f}", *mem])
head = ["report", "f06modes s", "grep s", "classic s", "f06modes/grep", "classic/f06modes",
        "f06modes MB", "grep MB", "classic MB"]
widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
print("\n== medians (seconds), ratios, peak resident memory (MB)")
for r in [head] + rows:
    print("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))))
EOF
}

scripts/install-deps hyperfine time python3 util-linux
build
mkdir -p "$dir/work" "$dir/results"
: >"$dir/results/memory.tsv"

reports=("${reports_small[@]}")
$quick || reports+=("${reports_large[@]}")
echo "== reports in $dir"
check_space "${reports[@]}"
for entry in "${reports[@]}"; do
  IFS='|' read -r name args _ <<<"$entry"
  generate "$name" "$args"
done

names=()
for entry in "${reports[@]}"; do
  IFS='|' read -r name _ size <<<"$entry"
  large=false
  ((size < 1000000000)) || large=true
  bench_report "$name" "$large"
  names+=("$name")
done
summary "${names[@]}" | tee "$dir/results/summary.txt"
