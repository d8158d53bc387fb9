# Timing helpers of the shell benchmarks (sourced; $work must be set).
# seconds (wall clock, nanosecond timer) and peak RSS (MiB) of a command: "SECONDS MIB"
measure() {
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/time.txt" "$@" > /dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" -v k="$(cat "$work/time.txt")" 'BEGIN { printf "%.6f %d", b - a, k / 1024 }'
}
# items per second, right-aligned
rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%10.0f", (s > 0 ? n / s : 0) }'; }
