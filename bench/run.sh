#!/usr/bin/env bash
# Benchmark of the commands end to end: host build, the floor, and the Windows
# x64 build under Wine. Run by hand (it is not part of the test command):
#
#   bench/run.sh                 everything (about 5-8 minutes on 2 cores)
#   RUNS=11 bench/run.sh         fewer runs per host command (default 31)
#   WINE_RUNS=0 bench/run.sh     without Wine (default 11 runs per command)
#   SIZES="default 500k"         machine sizes to time (default: default 50k 500k)
#   MICRO=0 bench/run.sh         without the Google Benchmark programs
#
# What it does, in one run:
#  1. builds the host program (Release, build/bench-host) and the Windows x64
#     program (cmake/mingw-x64.cmake, build/bench-x64), and bench/floor.c;
#  2. makes the machines with bench/generate_machine.py: the default image, and
#     50,000 and 500,000 keys (the larger: an Enum tree of 100,000 nodes, 10,000
#     drivers, 5,000 ports, 2,000 monitors), all Windows 98 like the default
#     image; and the 20 MB INF (printer sections past its middle);
#  3. times each command (1, 2, 3, 4, 5, 257, 258) with bench/measure.py: the
#     host program, then the floor (a trivial C program, started the same way
#     with the same arguments and environment); every run of a command starts
#     from a pristine copy of its machine, restored in place (only the blocks
#     the last run changed are written back) and synced to disk outside the
#     timed region, and follows an untimed run of the no-op command 259; 258 runs on a machine where 257 ran; the runs of a
#     command go round the machines, so that a drift in the speed of the
#     machine under the benchmark falls on all sizes alike;
#  4. the same commands of the x64 build under Wine 8 with a warm wineserver:
#     one prefix; before each timed run the server is stopped, the prefix's
#     registry and WIN.INI are put back, the server is started (wineserver -p)
#     and warmed with an untimed run of command 259;
#  5. the Google Benchmark programs of bench/ (inner parts), when the library
#     is installed.
#
# Columns: host ms = median wall time; x floor = host / floor; x dflt = the
# same command on this machine / on the default machine; CPU ms = median
# user+sys time; RSS MiB = peak resident memory (the highest run, measured by
# GNU time in separate untimed runs); wine/host = Wine median / host median.
# The machine is shared with builds of other people: wall times vary with its
# load, CPU times much less.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${BENCH_WORK:-$top/build/bench-work}
host_build=$top/build/bench-host
x64_build=$top/build/bench-x64
runs=${RUNS:-31}
wine_runs=${WINE_RUNS:-11}
sizes=${SIZES:-default 50k 500k}
micro=${MICRO:-1}
jobs=${JOBS:-2}
started=$(date +%s)

step() { echo "--- $* ($(($(date +%s) - started)) s)"; }

step "machine"
grep -m1 'model name' /proc/cpuinfo | sed 's/^model name\s*: /CPU: /'
echo "cores: $(nproc); memory: $(free -g | awk '/Mem:/ {print $2}') GiB; load: $(cut -d' ' -f1-3 /proc/loadavg)"
uname -sr

step "building the host program (Release)"
cmake -S "$top" -B "$host_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(qzinst32 qzreg)
if [ "$micro" = 1 ] && grep -q 'registry_bench' "$host_build/Makefile" 2>/dev/null; then
  targets+=(registry_bench pnp_bench)
  grep -q 'inf_bench' "$host_build/Makefile" && targets+=(inf_bench)
  grep -q 'spooler_bench' "$host_build/Makefile" && targets+=(spooler_bench)
  grep -q 'inifile_bench' "$host_build/Makefile" && targets+=(inifile_bench)
fi
cmake --build "$host_build" -j"$jobs" --target "${targets[@]}" >/dev/null
cc -O2 -o "$host_build/floor" "$top/bench/floor.c"

if [ "$wine_runs" != 0 ]; then
  step "building the Windows x64 program"
  cmake -S "$top" -B "$x64_build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$x64_build" -j"$jobs" >/dev/null
fi

step "making the machines ($sizes) and the 20 MB INF"
mkdir -p "$work"
machines=()
for size in $sizes; do
  root=$work/machine-$size
  # A machine is made again when the generator or the program changed.
  stamp="$(md5sum "$top/bench/generate_machine.py" "$host_build/qzreg" | md5sum | cut -c1-12)"
  if [ ! -f "$root.stamp" ] || [ "$(cat "$root.stamp")" != "$stamp" ]; then
    rm -rf "$root"
    python3 "$top/bench/generate_machine.py" machine "$root" --qzreg "$host_build/qzreg" --size "$size"
    echo "$stamp" >"$root.stamp"
  fi
  machines+=(--machine "$size=$root")
done
[ -f "$work/big.inf" ] || python3 "$top/bench/generate_machine.py" inf "$work/big.inf" --mb 20
sync

wine_args=()
if [ "$wine_runs" != 0 ]; then
  step "preparing the Wine prefix"
  prefix=$work/wine-prefix
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    WINEPREFIX=$prefix /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w || true
  fi
  [ -f "$prefix/system.reg" ] || { echo "could not create a Wine prefix"; exit 1; }
  wine_args=(--wine-exe "$x64_build/QZINST32.EXE" --wine-prefix "$prefix" --wine-runs "$wine_runs")
fi

step "timing the commands ($runs runs each on the host, $wine_runs under Wine)"
python3 "$top/bench/measure.py" --host "$host_build/qzinst32" --floor "$host_build/floor" \
  --work "$work" "${machines[@]}" --inf "$top/examples/rt2210.inf" --big-inf "$work/big.inf" \
  --runs "$runs" "${wine_args[@]}"

if [ "$micro" = 1 ]; then
  for b in registry_bench pnp_bench inf_bench spooler_bench inifile_bench; do
    [ -x "$host_build/$b" ] || continue
    step "$b (Google Benchmark)"
    (cd "$work" && "$host_build/$b" --benchmark_min_time=0.05 2>&1 | grep -v '^\*\*\*')
  done
fi
step "done"
