# Sanitizer builds: -DTARNWICK_SANITIZE=address,undefined (or thread, or any
# list -fsanitize= takes; GCC leaves float-cast-overflow, the conversion of an
# out-of-range float to an integer, out of "undefined", so the test command
# names it) instruments every program, test and loadable module
# of the build and links each with the sanitizer's run-time library.
#
#   -fno-omit-frame-pointer          whole stack traces in the reports
#   -fno-sanitize-recover=all        undefined behaviour ends the program, so a
#                                    test that meets it fails
#   TARNWICK_SANITIZED               a compile definition: the few tests that
#                                    cannot run under a sanitizer skip themselves
#
# Optimisation and debug information are the configuration's
# (scripts/run-tests.sh builds with -O1 -g1: line tables for the reports'
# stack traces at a fraction of the compile time of -g). The run-time options and the
# suppressions of third-party reports are in tests/sanitizers/.

set(TARNWICK_SANITIZE "" CACHE STRING
  "Sanitizers to build with, as -fsanitize= takes them (e.g. address,undefined or thread); empty for none")

if(TARNWICK_SANITIZE)
  set(_tarnwick_sanitize_flags -fsanitize=${TARNWICK_SANITIZE} -fno-omit-frame-pointer)
  if(TARNWICK_SANITIZE MATCHES "undefined|float")
    list(APPEND _tarnwick_sanitize_flags -fno-sanitize-recover=all)
  endif()
  add_compile_options(${_tarnwick_sanitize_flags})
  add_link_options(-fsanitize=${TARNWICK_SANITIZE})
  add_compile_definitions(TARNWICK_SANITIZED)
  message(STATUS "Sanitizers: ${TARNWICK_SANITIZE}")
endif()
