# The manual page and the bash completion, written at build time from the
# program's option table by tools/optiondoc.cpp, and their check.

# The generator links the layers that hold the option table (object
# libraries: each one is named, as their objects are not passed on).
add_executable(tarnwick_optiondoc ${CMAKE_SOURCE_DIR}/tools/optiondoc.cpp)
target_link_libraries(tarnwick_optiondoc PRIVATE tarnwick_settings tarnwick_text tarnwick_platform)
set_target_properties(tarnwick_optiondoc PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(TARNWICK_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
# The folders the manual page names, below the install prefix given when the
# build is configured (/usr unless given, as the Debian package has it).
set(TARNWICK_MANPAGE_PROGRAM_DIR ${CMAKE_INSTALL_PREFIX}/${TARNWICK_PROGRAM_INSTALL_DIR})
set(TARNWICK_MANPAGE_DATA_DIR ${CMAKE_INSTALL_PREFIX}/${TARNWICK_DATA_INSTALL_DIR})
set(TARNWICK_MANPAGE_BIN_DIR ${CMAKE_INSTALL_PREFIX}/bin)
set(TARNWICK_MANPAGE ${TARNWICK_DOC_DIR}/tarnwick.1)
set(TARNWICK_COMPLETION ${TARNWICK_DOC_DIR}/tarnwick.bash)

add_custom_command(
  OUTPUT ${TARNWICK_MANPAGE} ${TARNWICK_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNWICK_DOC_DIR}
  COMMAND tarnwick_optiondoc manpage ${CMAKE_CURRENT_LIST_DIR}/tarnwick.1.in ${TARNWICK_MANPAGE}
          TARNWICK_MANPAGE_PROGRAM_DIR=${TARNWICK_MANPAGE_PROGRAM_DIR}
          TARNWICK_MANPAGE_DATA_DIR=${TARNWICK_MANPAGE_DATA_DIR}
          TARNWICK_MANPAGE_BIN_DIR=${TARNWICK_MANPAGE_BIN_DIR}
  COMMAND tarnwick_optiondoc completion ${TARNWICK_COMPLETION}
  DEPENDS tarnwick_optiondoc ${CMAKE_CURRENT_LIST_DIR}/tarnwick.1.in
  COMMENT "Writing the manual page and the bash completion from the option table"
  VERBATIM)
# Installed compressed, as manual pages are on Debian.
add_custom_command(
  OUTPUT ${TARNWICK_MANPAGE}.gz
  COMMAND gzip -9 -n -f -k ${TARNWICK_MANPAGE}
  DEPENDS ${TARNWICK_MANPAGE}
  VERBATIM)
add_custom_target(tarnwick_docs ALL
  DEPENDS ${TARNWICK_MANPAGE} ${TARNWICK_MANPAGE}.gz ${TARNWICK_COMPLETION})

install(FILES ${TARNWICK_MANPAGE}.gz DESTINATION share/man/man1)
install(FILES ${TARNWICK_COMPLETION} DESTINATION share/bash-completion/completions
  RENAME tarnwick)

if(TARNWICK_BUILD_TESTS)
  # Every option of the table in the manual page (rendered without warnings)
  # and in the completion, with its "=" and its keywords.
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(tarnwick_optiondoc_test ${CMAKE_SOURCE_DIR}/tests/package/optiondoc_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/test_support.cpp)
  target_include_directories(tarnwick_optiondoc_test PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(tarnwick_optiondoc_test PRIVATE
    tarnwick_settings tarnwick_text tarnwick_platform ZLIB::ZLIB GTest::gtest GTest::gtest_main)
  target_compile_definitions(tarnwick_optiondoc_test PRIVATE
    TARNWICK_MANPAGE="${TARNWICK_MANPAGE}" TARNWICK_COMPLETION="${TARNWICK_COMPLETION}"
    TARNWICK_MANPAGE_PROGRAM_DIR="${TARNWICK_MANPAGE_PROGRAM_DIR}"
    TARNWICK_MANPAGE_DATA_DIR="${TARNWICK_MANPAGE_DATA_DIR}"
    TARNWICK_TESTDATA="${CMAKE_SOURCE_DIR}/../shared/testdata")
  set_target_properties(tarnwick_optiondoc_test PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
  add_dependencies(tarnwick_optiondoc_test tarnwick_docs)
  gtest_discover_tests(tarnwick_optiondoc_test DISCOVERY_TIMEOUT 60)

  # For the package check: where an installed program finds its manual and themes.
  add_executable(tarnwick_data_path_probe ${CMAKE_SOURCE_DIR}/tests/package/data_path_probe.cpp)
  target_link_libraries(tarnwick_data_path_probe PRIVATE tarnwick_text tarnwick_platform)
  set_target_properties(tarnwick_data_path_probe PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endif()
