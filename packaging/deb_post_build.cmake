# CPack post-build script of the Debian package (see package.cmake): runs on
# each built package before cpack copies it into the build folder.
foreach(_deb IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND bash "${CPACK_TARNWICK_SOURCE_DIR}/packaging/deb-finish.sh" "${_deb}"
    RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "finishing ${_deb} failed")
  endif()
endforeach()
