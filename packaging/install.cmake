# Installation layout (cmake --install <build> [--prefix P]; P is /usr unless
# configured otherwise, see layout.cmake):
#
#   P/lib/tarnwick/            the program and its loadable modules
#   P/share/tarnwick/          the manual tarnwick.html, its pictures images/ and
#                              the gfx/ theme packages (the program looks for
#                              them beside itself first, then here)
#   P/bin/tarnwick             symbolic link to ../lib/tarnwick/tarnwick
#   P/share/applications/      tarnwick.desktop
#   P/share/metainfo/          example.pictavo.tarnwick.metainfo.xml (AppStream)
#   P/share/icons/hicolor/     the application icon (scalable and 16 to 256 pixels)
#   P/share/man/man1/          tarnwick.1.gz
#   P/share/bash-completion/completions/tarnwick
#   P/share/doc/tarnwick/      copyright (the Debian package adds changelog.Debian.gz)

if(TARGET tarnwick)
  install(TARGETS tarnwick RUNTIME DESTINATION ${TARNWICK_PROGRAM_INSTALL_DIR})
endif()
foreach(module tarnwick_ui tarnwick_canvas)
  if(TARGET ${module})
    install(TARGETS ${module}
      LIBRARY DESTINATION ${TARNWICK_PROGRAM_INSTALL_DIR}
      RUNTIME DESTINATION ${TARNWICK_PROGRAM_INSTALL_DIR})
  endif()
endforeach()

# Theme packages, the manual and its pictures are produced in the build's
# program folder.
if(TARGET tarnwick_theme)
  install(DIRECTORY ${TARNWICK_BIN_DIR}/gfx DESTINATION ${TARNWICK_DATA_INSTALL_DIR})
endif()
# The manual's pictures of the preferences pages.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/../docs/images)
  install(DIRECTORY ${TARNWICK_BIN_DIR}/images DESTINATION ${TARNWICK_DATA_INSTALL_DIR} OPTIONAL)
endif()
if(NOT TARGET tarnwick_manual)
  # Builds without the window mode still ship the manual.
  add_custom_command(
    OUTPUT ${TARNWICK_BIN_DIR}/tarnwick.html
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/../docs/manual.html
            ${TARNWICK_BIN_DIR}/tarnwick.html
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../docs/manual.html
    VERBATIM)
  add_custom_target(tarnwick_manual ALL DEPENDS ${TARNWICK_BIN_DIR}/tarnwick.html)
endif()
install(FILES ${TARNWICK_BIN_DIR}/tarnwick.html DESTINATION ${TARNWICK_DATA_INSTALL_DIR})

# bin/tarnwick -> ../lib/tarnwick/tarnwick
install(CODE [[
  set(_bin "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
  file(MAKE_DIRECTORY "${_bin}")
  file(REMOVE "${_bin}/tarnwick")
  file(CREATE_LINK ../lib/tarnwick/tarnwick "${_bin}/tarnwick" SYMBOLIC)
  message(STATUS "Installing: ${_bin}/tarnwick -> ../lib/tarnwick/tarnwick")
]])

# Application icon; the desktop entry and the AppStream data are installed
# with the window mode (assets/CMakeLists.txt).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../assets/app/tarnwick.svg
  DESTINATION share/icons/hicolor/scalable/apps)
get_property(_tarnwick_appicon_dir GLOBAL PROPERTY TARNWICK_APPICON_DIR)
get_property(_tarnwick_appicon_sizes GLOBAL PROPERTY TARNWICK_APPICON_SIZES)
if(_tarnwick_appicon_dir)
  foreach(size IN LISTS _tarnwick_appicon_sizes)
    install(FILES ${_tarnwick_appicon_dir}/${size}x${size}/tarnwick.png
      DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

# Copyright and licences of what is installed (machine-readable format).
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${TARNWICK_DOC_INSTALL_DIR})

# Manual page and bash completion from the option table.
include(${CMAKE_CURRENT_LIST_DIR}/docs.cmake)
