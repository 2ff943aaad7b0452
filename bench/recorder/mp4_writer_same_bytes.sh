#!/bin/sh
# Whether two builds of the MP4 writer write the same movie, byte for byte:
# each mp4_writer_bench given remuxes the same canned minute of 1080p30
# (BM_RemuxMinuteOf1080p30, the streams kept in $TMPDIR/camera-bench-mp4)
# and the SHA-256 of the file each wrote is compared.
#
#   bench/recorder/mp4_writer_same_bytes.sh OLD_BENCH NEW_BENCH
#
# OLD_BENCH is typically built from an earlier commit in a worktree of its
# own: git worktree add /tmp/old REV && cmake -S /tmp/old -B /tmp/old/build \
#   -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAMERA_TESTS=OFF && \
#   cmake --build /tmp/old/build -j4 --target mp4_writer_bench
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 OLD_BENCH NEW_BENCH" >&2
    exit 2
fi
movie="${TMPDIR:-/tmp}/camera-bench-mp4/ours.mp4"

hash_of() {
    rm -f "$movie"
    "$1" --benchmark_filter=BM_RemuxMinuteOf1080p30 >/dev/null 2>&1 || {
        echo "$1 failed" >&2
        exit 1
    }
    sha256sum "$movie" | cut -d' ' -f1
}

old=$(hash_of "$1")
new=$(hash_of "$2")
echo "old $old"
echo "new $new"
if [ "$old" = "$new" ]; then
    echo "same bytes"
else
    echo "the movies differ"
    exit 1
fi
