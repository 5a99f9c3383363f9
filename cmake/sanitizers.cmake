# Sanitizer builds: -DTARNWICK_SANITIZE=address,undefined (or thread, or any
# list -fsanitize= takes) instruments every program, test and loadable module
# of the build and links each with the sanitizer's run-time library.
#
#   -fno-omit-frame-pointer          whole stack traces in the reports
#   -fno-sanitize-recover=undefined  undefined behaviour ends the program, so a
#                                    test that meets it fails
#   TARNWICK_SANITIZED               a compile definition: the few tests that
#                                    cannot run under a sanitizer skip themselves
#
# Debug information is added; the optimisation level is the configuration's
# (scripts/run-tests.sh builds with -O1). The run-time options and the
# suppressions of third-party reports are in tests/sanitizers/.

set(TARNWICK_SANITIZE "" CACHE STRING
  "Sanitizers to build with, as -fsanitize= takes them (e.g. address,undefined or thread); empty for none")

if(TARNWICK_SANITIZE)
  set(_tarnwick_sanitize_flags -fsanitize=${TARNWICK_SANITIZE} -fno-omit-frame-pointer -g)
  if(TARNWICK_SANITIZE MATCHES "undefined")
    list(APPEND _tarnwick_sanitize_flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_tarnwick_sanitize_flags})
  add_link_options(-fsanitize=${TARNWICK_SANITIZE})
  add_compile_definitions(TARNWICK_SANITIZED)
  message(STATUS "Sanitizers: ${TARNWICK_SANITIZE}")
endif()
