#!/usr/bin/env bash
# Peak memory and wall time of `varnex analyse` on inputs made to exhaust it, each written to a
# temporary folder here and removed afterwards:
#   long-line.csv  a CSV whose second line is 200 MB ("time,a", then "0,1,1,...")
#   one-sample.edf an EDF file (104 MB) of 52 million data records of one sample each
# Usage: bench/hostile_inputs.sh [VARNEX]   (default build/release/bin/varnex)
set -euo pipefail
varnex=${1:-build/release/bin/varnex}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

python3 - "$dir/long-line.csv" "$dir/one-sample.edf" <<'EOF'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(b"time,a\n0")
    for _ in range(100):
        f.write(b",1" * 1_000_000)
    f.write(b"\n")
records = 52_000_000
head = (b"0".ljust(8) + b"X".ljust(80) + b"X".ljust(80) + b"01.01.2000.00.00" + b"512".ljust(8)
        + b"".ljust(44) + str(records).encode().ljust(8) + b"0.001".ljust(8) + b"1".ljust(4))
signal = (b"ECG".ljust(16) + b"".ljust(80) + b"mV".ljust(8) + b"-10".ljust(8) + b"10".ljust(8)
          + b"-2048".ljust(8) + b"2047".ljust(8) + b"".ljust(80) + b"1".ljust(8) + b"".ljust(32))
with open(sys.argv[2], "wb") as f:
    f.write(head + signal)
    chunk = bytes(2 * 1_000_000)
    for _ in range(records // 1_000_000):
        f.write(chunk)
EOF

for input in long-line.csv one-sample.edf; do
    /usr/bin/time -v "$varnex" analyse "$dir/$input" >/dev/null 2>"$dir/time.txt" || true
    peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/time.txt")
    said=$(grep '^varnex:' "$dir/time.txt" | head -n 1 || true)
    printf '%-15s %6.1f MB  %s  %s\n' "$input" "$(awk "BEGIN { print $peak / 1000 }")" "$wall" "$said"
done
