# Sourced by the fuzz scripts: runs one libFuzzer target from a scratch corpus
# and its seeds, and prints how many inputs ran. Needs $work (the working
# folder, the current one) and $library (the SDL library's name, or empty); adds
# the count to $total, and on a failure prints the log's end and exits 1.
#   fuzz_target NAME SECONDS SEEDS LIBFUZZER_OPTIONS...
fuzz_target() {
    local name=$1 time=$2 seeds=$3
    shift 3
    # New inputs go to a scratch corpus; the seeds stay as they are.
    rm -rf "corpus-$name" && mkdir -p "corpus-$name" artifacts
    local log="$name.log" status=0 runs
    "./$name" -max_total_time="$time" "$@" -print_final_stats=1 -artifact_prefix="$work/artifacts/$name-" \
        "corpus-$name" "$seeds" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$name${library:+ on $library}: ${runs:-?} inputs in ${time} s, status $status"
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "$name: the failing input is in $work/artifacts/"
        exit 1
    fi
    total=$(( total + ${runs:-0} ))
}
