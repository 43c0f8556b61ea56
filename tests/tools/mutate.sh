#!/bin/bash
# Mutation run: copies of model files with bytes overwritten at random places, each given to
# `oxsg convert`. A refusal is fine; a crash (an exit by signal) is reported and fails. A
# conversion still running after 20 s is stopped and reported as a hang: Assimp's readers
# have loops that some broken files never leave, and there is no way to stop them from
# inside the process.
#
#   mutate.sh OXSG WORKDIR ROUNDS FILE...
#
# Each FILE is copied with the files beside it (glTF buffers and pictures), so that the
# mutated copy still finds them. The mutations are deterministic: round r of file f uses
# seed f * 1000 + r.
oxsg=$1
work=$2
rounds=$3
shift 3
crashes=0
hangs=0
runs=0
index=0
for file in "$@"; do
    index=$((index + 1))
    name=$(basename "$file")
    dir="$work/$index"
    rm -rf "$dir" && mkdir -p "$dir" && cp "$(dirname "$file")"/* "$dir"/ 2>/dev/null
    size=$(stat -c %s "$file")
    for round in $(seq 1 "$rounds"); do
        cp "$file" "$dir/$name"
        # 1 to 8 bytes, each at a random offset, set to a random value.
        awk -v seed=$((index * 1000 + round)) -v size="$size" 'BEGIN {
            srand(seed); n = 1 + int(rand() * 8);
            for (i = 0; i < n; ++i) printf "%d %d\n", int(rand() * size), int(rand() * 256) }' |
        while read -r offset value; do
            printf "$(printf '\\%03o' "$value")" | dd of="$dir/$name" bs=1 seek="$offset" conv=notrunc status=none
        done
        timeout -s KILL 20 "$oxsg" convert "$dir/$name" "$dir/out.oxb" >/dev/null 2>&1
        status=$?
        runs=$((runs + 1))
        if [ $status -eq 137 ]; then
            echo "hang: $file round $round"
            cp "$dir/$name" "$work/hang-$index-$round-$name"
            hangs=$((hangs + 1))
        elif [ $status -ge 128 ]; then
            echo "crash (status $status): $file round $round"
            cp "$dir/$name" "$work/crash-$index-$round-$name"
            crashes=$((crashes + 1))
        fi
    done
done
echo "$runs mutated files converted, $crashes crashes, $hangs hangs"
[ $crashes -eq 0 ]
