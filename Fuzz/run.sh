#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds each, one after the other, starting from
# its committed seed corpus: run.sh <seconds> [build-dir]. Fails when any target finds a crash,
# a sanitizer report, a leak or a time-out; the input that did it lands in Fuzz/artifacts/.
#
# With TALVANE_FUZZ_KEEP=1 (the long runs of docs/RELIABILITY.md), the new inputs that reach new
# code are merged into the committed seed corpus afterwards, minimised by libFuzzer's -merge=1.
#
# The build directory must be a fuzz build (see Fuzz/CMakeLists.txt); it defaults to build-fuzz
# and is configured and built here when it does not exist yet.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
seconds="${1:?usage: run.sh <seconds> [build-dir]}"
build="${2:-$root/build-fuzz}"
targets=(TalvaneJsonReaderFuzzer TalvaneResponseParsersFuzzer TalvaneSSEDecoderFuzzer TalvaneStatementsFuzzer TalvaneStreamDeltaFuzzer TalvaneStreamSlicingFuzzer TalvaneToolArgumentsFuzzer)

if [ ! -x "$build/bin/${targets[0]}" ]; then
	"$root/scripts/build.sh" "$build" -DCMAKE_CXX_COMPILER=clang++ -DTALVANE_SANITIZE=ON -DTALVANE_BUILD_FUZZERS=ON \
		-DTALVANE_BUILD_TESTS=OFF -DTALVANE_BUILD_PROGRAMS=OFF -DTALVANE_BUILD_BENCHMARKS=OFF -- "${targets[@]}"
fi

mkdir -p "$here/artifacts"
status=0
for target in "${targets[@]}"; do
	# New inputs go to a scratch corpus; the committed seeds are only read.
	scratch="$(mktemp -d)"
	echo "--- $target: ${seconds}s"
	if ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
		"$build/bin/$target" "$scratch" "$here/corpus/$target" \
			-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
			-artifact_prefix="$here/artifacts/$target-" -print_final_stats=1 2>"$scratch.log"; then
		grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+.*DONE)" "$scratch.log" || true
		if [ "${TALVANE_FUZZ_KEEP:-0}" = "1" ]; then
			"$build/bin/$target" -merge=1 -max_len=8192 "$here/corpus/$target" "$scratch" 2>"$scratch.merge.log" \
				|| { echo "$target: corpus merge FAILED"; tail -n 20 "$scratch.merge.log"; status=1; }
			rm -f "$scratch.merge.log"
		fi
	else
		echo "$target FAILED:"
		tail -n 60 "$scratch.log"
		status=1
	fi
	rm -rf "$scratch" "$scratch.log"
done
exit "$status"
