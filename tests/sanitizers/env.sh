# Run-time options of the sanitizer builds; scripts/run-tests.sh sources this
# before it builds and tests build-asan and build-tsan, and so can a developer:
#
#   source tests/sanitizers/env.sh && (cd build-asan && QT_QPA_PLATFORM=offscreen ctest)
#
# Every report ends the program with exit code 23, which no test expects, so
# a finding fails the test that met it. The suppression files beside this one
# hold third-party reports only, each with its reason.
_tarnwick_san_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export ASAN_OPTIONS="halt_on_error=1:exitcode=23:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=${_tarnwick_san_dir}/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:exitcode=23:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:exitcode=23:second_deadlock_stack=1:suppressions=${_tarnwick_san_dir}/tsan.supp"
unset _tarnwick_san_dir
