#!/bin/sh
# Whole runs of the Release program, timed with their peak memory: the shipped example
# (examples/avalanche.macro) and a large run of about 2e5 particles (420 per release cell) for 200 steps on the same
# terrain, each on one processor and on eight (the program uses as many threads as the
# processors it may run on, so taskset decides). Prints per run: wall seconds, peak resident
# kilobytes, the particles of its last step and the peak bytes per particle.
#
#   bench/simulation/whole_runs.sh [build directory, default build/release] [repeats, default 3]
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
repeats=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/examples/slope.asc "$root"/examples/slope.rel "$root"/examples/avalanche.macro "$work"/
# The large run: the example's release with 420 particles per cell, 200 steps of 0.05 s, the
# fields written at the end only.
sed -e 's/"EndTime", "100"/"EndTime", "10"/' -e 's/"DeltaOut", "5"/"DeltaOut", "10"/' \
    -e '/"EndTime"/i set("Project/Simulations/Avalanche1", "MassPerParticleDeterminationMethod", "particles per cell")\nset("Project/Simulations/Avalanche1", "NumParticlesPerCell", "420")\nset("Project/Simulations/Avalanche1", "DeltaT", "0.05")' \
    "$work"/avalanche.macro > "$work"/large.macro
for macro in ${RUNS:-avalanche large}; do
  for cpus in 0 0-7; do
    for k in $(seq "$repeats"); do
      rm -rf "$work"/avalanche_project "$work"/*.asc.out
      (cd "$work" && /usr/bin/time -v taskset -c "$cpus" "$build"/torvu -files "$root"/files/AK_Attributes \
        -offscreen $macro.macro > torvu.log 2> time.log)
      seconds=$(grep "Elapsed (wall clock)" "$work"/time.log | sed 's/.*: //')
      kb=$(grep "Maximum resident" "$work"/time.log | sed 's/.*: //')
      particles=$(grep -o "[0-9]* particles generated" "$work"/torvu.log | tail -1 | cut -d' ' -f1)
      echo "$macro cpus=$cpus wall=$seconds peakKB=$kb particles=$particles bytes/particle=$((kb * 1024 / particles))"
    done
  done
done
