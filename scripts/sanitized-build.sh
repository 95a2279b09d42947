# Sourced by scripts/test and scripts/fuzz from the repository root: configures and builds everything
# with clang 14 and the address and undefined-behaviour sanitizers in build-sanitize/ (the fuzz
# programs included), and exports the options its programs run with (leaks of Qt's own are
# suppressed, tests/sanitizer/lsan.supp).
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVALE_SANITIZE=ON -DQUORVALE_BUILD_BENCHMARKS=OFF \
	-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
cmake --build build-sanitize
export ASAN_OPTIONS=strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
