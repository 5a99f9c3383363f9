# Hardening of every program, test and module the build makes, on by default
# (-DTARNWICK_HARDENING=OFF turns it off): the flags Debian's own packages
# are built with.
#
#   -fstack-protector-strong      canaries in functions with arrays or taken addresses
#   -D_FORTIFY_SOURCE=2           checked variants (__memcpy_chk, ...) of the C
#                                 library's copy and print functions; it needs
#                                 optimisation, so only optimised configurations
#                                 get it, and sanitizer builds do not (their
#                                 interceptors take the place of the checks)
#   -fstack-clash-protection      stack probes for large frames
#   -fcf-protection               control-flow marks (CET), where the compiler has it
#   PIE                           the program is position independent
#   -z relro -z now               relocations read-only after start, bound at load
#
# A sanitizer build is recognised by TARNWICK_SANITIZE (any value that is not
# false, e.g. "address,undefined") or by -fsanitize in the compiler flags.

option(TARNWICK_HARDENING "Build with hardening flags (stack protector, fortify, relro/now, PIE)" ON)
if(NOT TARNWICK_HARDENING)
  return()
endif()

include(CheckCXXCompilerFlag)
include(CheckPIESupported)

foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "TARNWICK_HAS${flag}" var)
  check_cxx_compiler_flag(${flag} ${var})
  if(${var})
    add_compile_options(${flag})
  endif()
endforeach()

set(_tarnwick_sanitized OFF)
if(TARNWICK_SANITIZE)
  set(_tarnwick_sanitized ON)
endif()
string(TOUPPER "${CMAKE_BUILD_TYPE}" _tarnwick_config)
if("${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${_tarnwick_config}}" MATCHES "-fsanitize=")
  set(_tarnwick_sanitized ON)
endif()
if(NOT _tarnwick_sanitized)
  # Any _FORTIFY_SOURCE level given from outside (a distribution's default
  # flags) gives way to this one, without a redefinition warning.
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()

# Position-independent executables: CMAKE_POSITION_INDEPENDENT_CODE (set at the
# top) compiles for PIE; this makes the link say -pie too.
check_pie_supported(LANGUAGES CXX)
add_link_options(LINKER:-z,relro,-z,now)
