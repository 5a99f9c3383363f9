# CPack pre-build script of the Debian package (see package.cmake): runs in
# cpack after the files are staged in CPACK_TEMPORARY_DIRECTORY.

# --- SOURCE_DATE_EPOCH: given, else the last commit's time, else the time of
# the top CMakeLists.txt (a source tree without history). Every time in the
# package derives from it.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  execute_process(
    COMMAND git -C "${CPACK_TARNWICK_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE _epoch OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _git_result ERROR_QUIET)
  if(NOT _git_result EQUAL 0 OR NOT _epoch MATCHES "^[0-9]+$")
    file(TIMESTAMP "${CPACK_TARNWICK_SOURCE_DIR}/CMakeLists.txt" _epoch "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${_epoch}")
endif()
message(STATUS "SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH}")

set(_root "${CPACK_TEMPORARY_DIRECTORY}")
set(_version "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

# --- changelog.Debian.gz from the version, dated SOURCE_DATE_EPOCH ---------
# (string(TIMESTAMP) reads SOURCE_DATE_EPOCH instead of the clock.)
string(TIMESTAMP _date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(_docdir "${_root}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_TARNWICK_DOC_DIR}")
file(MAKE_DIRECTORY "${_docdir}")
file(WRITE "${_docdir}/changelog.Debian"
"${CPACK_PACKAGE_NAME} (${_version}) unstable; urgency=medium

  * ${CPACK_TARNWICK_PRODUCT_NAME} ${CPACK_PACKAGE_VERSION}, Debian revision ${CPACK_DEBIAN_PACKAGE_RELEASE}.

 -- ${CPACK_PACKAGE_CONTACT}  ${_date}
")
file(REMOVE "${_docdir}/changelog.Debian.gz")
execute_process(COMMAND gzip -n -9 "${_docdir}/changelog.Debian" RESULT_VARIABLE _gzip_result)
if(NOT _gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip failed on changelog.Debian")
endif()
file(CHMOD "${_docdir}/changelog.Debian.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# --- Library dependencies of every ELF file, from dpkg-shlibdeps ------------
file(GLOB_RECURSE _files LIST_DIRECTORIES false "${_root}/*")
set(_elves)
foreach(_file IN LISTS _files)
  if(NOT IS_SYMLINK "${_file}")
    file(READ "${_file}" _magic LIMIT 4 HEX)
    if(_magic STREQUAL "7f454c46")
      list(APPEND _elves "${_file}")
    endif()
  endif()
endforeach()
if(NOT _elves)
  message(FATAL_ERROR "no program or module staged in ${_root}")
endif()
list(SORT _elves)
set(_work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(REMOVE_RECURSE "${_work}")
file(MAKE_DIRECTORY "${_work}/debian")
file(WRITE "${_work}/debian/control" "")
# The modules take the core's symbols from the program that loads them; the
# warnings about those symbols are expected and not shown.
execute_process(
  COMMAND env LC_ALL=C dpkg-shlibdeps -O ${_elves}
  WORKING_DIRECTORY "${_work}"
  OUTPUT_VARIABLE _shlibdeps OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_VARIABLE _shlibdeps_errors
  RESULT_VARIABLE _shlibdeps_result)
file(REMOVE_RECURSE "${_work}")
if(NOT _shlibdeps_result EQUAL 0 OR NOT _shlibdeps MATCHES "^shlibs:Depends=(.+)$")
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${_shlibdeps_errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}, ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")

# --- lintian override: this package is made by its maker, not uploaded to
# Debian, so there is no "intent to package" bug for the first changelog entry
# to close.
set(_overrides "${_root}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides")
file(MAKE_DIRECTORY "${_overrides}")
file(WRITE "${_overrides}/${CPACK_PACKAGE_NAME}"
"# Made by its maker and not uploaded to Debian: no ITP bug to close.
${CPACK_PACKAGE_NAME}: initial-upload-closes-no-bugs [usr/share/doc/${CPACK_PACKAGE_NAME}/changelog.Debian.gz:1]
")
