#!/usr/bin/env bash
# Configures and builds one flavour of the tree: build.sh <build-dir> [cmake options...] [-- targets...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$1"; shift
options=()
targets=()
while [ $# -gt 0 ]; do
	if [ "$1" = "--" ]; then shift; targets=("$@"); break; fi
	options+=("$1"); shift
done
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# A developer machine with ccache shares compiled objects between work trees; CI has none and builds plainly.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Unoptimised by default: the tests and the chat program need no speed, and this halves build time.
# Benchmarks worth reading come from a Release build of their own (see docs/PERFORMANCE.md).
if [ ! -f "$dir/CMakeCache.txt" ]; then
	cmake -S "$here" -B "$dir" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" "${options[@]}" >/dev/null
fi
jobs="${TALVANE_JOBS:-$(nproc)}"
if [ "${#targets[@]}" -gt 0 ]; then
	cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
else
	cmake --build "$dir" -j "$jobs"
fi
