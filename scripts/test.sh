#!/usr/bin/env bash
# Runs every test: a plain build runs all of them, a Shipping build of the two plugin modules must
# compile, an AddressSanitizer + UndefinedBehaviorSanitizer build runs all of them, a ThreadSanitizer
# build runs the threaded ones, each fuzz target runs briefly, and the benchmarks run in a smoke mode.
# Pass --quick for the plain build and the Shipping build alone.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/deps.sh"
quick=0
[ "${1:-}" = "--quick" ] && quick=1
fuzz_seconds="${TALVANE_FUZZ_SECONDS:-20}"
ctest_args=(--output-on-failure --timeout 300 -j "${TALVANE_TEST_JOBS:-2}")
status=0

step() { echo; echo "=== $* ==="; }

step "include check: every include under Source/ resolves as the engine's build resolves it"
python3 "$here/scripts/check_includes.py" || status=1

step "plain build and tests"
"$here/scripts/build.sh" "$here/build"
(cd "$here/build" && ctest "${ctest_args[@]}") || status=1

step "Shipping build: the two plugin modules as a packaged game builds them (no log, no editor data, no specs)"
"$here/scripts/build.sh" "$here/build-shipping" -DTALVANE_SHIPPING=ON || status=1

if [ "$quick" -eq 0 ]; then
	step "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
	"$here/scripts/build.sh" "$here/build-asan" -DTALVANE_SANITIZE=ON -DTALVANE_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1"
	# The soak's resident-memory check means something only in the plain build (a sanitizer's allocator
	# quarantines freed memory); here LeakSanitizer judges.
	(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 TALVANE_SOAK_MEMORY_CHECK=0 ctest "${ctest_args[@]}") || status=1

	step "ThreadSanitizer build, threaded tests"
	# Only the programs whose tests drive the HTTP worker thread are built here, and the reference
	# server their fixture starts.
	"$here/scripts/build.sh" "$here/build-tsan" -DTALVANE_TSAN=ON -DTALVANE_BUILD_BENCHMARKS=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -- \
		HTTPTests HTTPThreadTests TalvaneTransportTests TalvaneTransportFailureTests TalvaneTransportStressTests \
		TalvaneManageTests TalvaneManageConcurrencyTests TalvaneManageStreamTests TalvaneManageFailureTests \
		TalvaneManageConversationTests TalvaneManageTimingsTests TalvaneToolLoopTests \
		TalvaneStandInHttpModuleRestartTests TalvaneStandInRefusedConnectionTests TalvaneStandInSecretsTests TalvaneStandInTlsTests \
		talvane-reference-server TalvaneSubsystemLoadTests TalvaneStandInShutdownTests
	(cd "$here/build-tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/.ci/tsan.supp" TALVANE_SOAK_MEMORY_CHECK=0 \
		ctest "${ctest_args[@]}" -L threaded) || status=1

	if [ -x "$here/Fuzz/run.sh" ]; then
		step "fuzz targets, ${fuzz_seconds}s each"
		"$here/scripts/build.sh" "$here/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DTALVANE_SANITIZE=ON -DTALVANE_BUILD_FUZZERS=ON -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
			-DTALVANE_BUILD_TESTS=OFF -DTALVANE_BUILD_PROGRAMS=OFF -DTALVANE_BUILD_BENCHMARKS=OFF
		"$here/Fuzz/run.sh" "$fuzz_seconds" "$here/build-fuzz" || status=1
	fi

	if compgen -G "$here/build/bin/*Benchmark*" >/dev/null; then
		step "benchmarks, smoke mode"
		for bench in "$here"/build/bin/*Benchmark*; do
			"$bench" --benchmark_min_time=0.01 || status=1
		done
	fi
fi

echo
if [ "$status" -eq 0 ]; then echo "All test stages passed."; else echo "Some test stage FAILED."; fi
exit "$status"
