#!/usr/bin/env bash
# Builds the same generated trees with qvr build-iso and with two peers
# (xorriso -as mkisofs, genisoimage; both -J -joliet-long, genisoimage with -D
# so that it keeps directories deeper than 8 as qvr does) in one run and
# prints wall time, peak memory and the ratios. On the large-file tree it also
# measures cat of the same files into one file.
#
#   bench/image_bench.sh [QVR_BINARY] [WORK_DIR]
# Trees: 20,000 small files (1-16 KiB) in 400 folders; four files of 512 MiB;
# 2,000 nested folders (20 chains of 100 levels, one small file in each).
set -euo pipefail

qvr=${1:-$(dirname "$0")/../build/bin/qvr}
work=${2:-${TMPDIR:-/tmp}/qvr-image-bench}
[ -x "$qvr" ] || { echo "qvr not found at $qvr (pass it as the first argument)" >&2; exit 2; }
mkdir -p "$work"

make_trees() {
  python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(4)
small = os.path.join(work, 'small')
if not os.path.exists(small):
    for d in range(400):
        folder = os.path.join(small, 'folder %03d' % d)
        os.makedirs(folder)
        for f in range(50):
            with open(os.path.join(folder, 'file %02d.dat' % f), 'wb') as out:
                out.write(rng.randbytes(rng.randint(1024, 16384)))
nested = os.path.join(work, 'nested')
if not os.path.exists(nested):
    for c in range(20):
        path = os.path.join(nested, 'chain%02d' % c)
        for level in range(100):
            path = os.path.join(path, 'n%02d' % level)
            os.makedirs(path)
            with open(os.path.join(path, 'f.txt'), 'wb') as out:
                out.write(rng.randbytes(100))
PY
  if [ ! -f "$work/large/part4.bin" ]; then
    mkdir -p "$work/large"
    for i in 1 2 3 4; do
      head -c $((512 << 20)) /dev/urandom > "$work/large/part$i.bin"
    done
  fi
}

# Prints "seconds peak_kib" of a command, the fastest of three runs (the
# output image is removed and written back to disk between runs).
measure() {
  local best="" run
  for run in 1 2 3; do
    rm -f "$work/out.iso"
    sync
    /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; }
    run=$(tail -1 "$work/time.txt")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if ${run% *} < ${best% *} else 1)"; then best=$run; fi
  done
  echo "$best"
}

warm() { find "$1" -type f -exec cat {} + > /dev/null; }

make_trees
printf '%-8s %-12s %8s %9s %s\n' tree tool seconds peak_MiB ratio_to_faster_peer
for tree in small large nested; do
  warm "$work/$tree"
  out="$work/out.iso"
  declare -A secs mem
  for tool in qvr xorriso genisoimage; do
    case $tool in
      qvr) r=$(measure "$qvr" build-iso --quiet -o "$out" "$work/$tree") ;;
      xorriso) r=$(measure xorriso -as mkisofs -quiet -J -joliet-long -o "$out" "$work/$tree") ;;
      genisoimage) r=$(measure genisoimage -quiet -J -joliet-long -D -o "$out" "$work/$tree") ;;
    esac
    secs[$tool]=${r% *}
    mem[$tool]=${r#* }
  done
  rm -f "$out"
  faster=$(python3 -c "print(min(${secs[xorriso]}, ${secs[genisoimage]}))")
  for tool in qvr xorriso genisoimage; do
    ratio=$(python3 -c "print('%.2f' % (${secs[$tool]} / max($faster, 0.001)))")
    printf '%-8s %-12s %8s %9s %s\n' "$tree" "$tool" "${secs[$tool]}" "$(( ${mem[$tool]} / 1024 ))" "$ratio"
  done
  if [ "$tree" = large ]; then
    c=$(measure sh -c "cat '$work/large/'*.bin > '$out'")
    rm -f "$out"
    ratio=$(python3 -c "print('%.2f' % (${c% *} / max(${secs[qvr]}, 0.001)))")
    printf '%-8s %-12s %8s %9s qvr throughput / cat throughput = %s\n' large cat "${c% *}" "$(( ${c#* } / 1024 ))" "$ratio"
  fi
done
echo "qvr peak memory target on the large tree: cache (32 MiB) + 64 MiB = 96 MiB"
