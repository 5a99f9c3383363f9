# The Debian package: `cpack -G DEB` in the build folder writes
# tarnwick_<version>-<revision>_<arch>.deb with the layout of the install
# target below /usr.
#
# Around CPack's own DEB generator:
#   deb_pre_build.cmake   (after the files are staged) fixes SOURCE_DATE_EPOCH
#                         (the last commit's time when not given), writes
#                         changelog.Debian.gz and works out the library
#                         dependencies with dpkg-shlibdeps. CPack's own
#                         dpkg-shlibdeps step stays off: it would add maintainer
#                         scripts calling ldconfig, which does nothing for the
#                         private modules in /usr/lib/tarnwick.
#   deb_post_build.cmake  (on the built package) sets Installed-Size as dpkg
#                         counts it and rebuilds the archive with dpkg-deb, whose
#                         file order is sorted and whose times are clamped to
#                         SOURCE_DATE_EPOCH, so two runs give the same bytes.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Pictavo)
set(CPACK_PACKAGE_CONTACT "Pictavo <support@pictavo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Pictavo PNG to BMP, a PNG to BMP converter")
set(CPACK_PACKAGE_DESCRIPTION
  "Converts PNG pictures into BMP files from a small window or from the command
line, through a fixed series of optional steps: rotate, resize, flip, tonal
adjustments, greyscale, threshold, a solid frame, a text or picture watermark
and the colour depth of the BMP file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "The package installs below /usr, this build's prefix is ${CMAKE_INSTALL_PREFIX}: "
    "its program finds the data through ../../share/tarnwick from its own folder")
endif()
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Debian revision: the package's version is 2.9-1.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://pictavo.example/tarnwick/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
# Beyond the linked libraries (added by deb_pre_build.cmake): the fonts the
# frame and watermark texts use, and Qt's platform plugins, which Qt loads itself.
# The image library is loaded with dlopen, so the library scan cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfreeimage3, fonts-liberation2, fonts-dejavu-core, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, xdg-utils")

set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_pre_build.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_post_build.cmake)
# Read by those scripts.
set(CPACK_TARNWICK_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_TARNWICK_DOC_DIR ${TARNWICK_DOC_INSTALL_DIR})
set(CPACK_TARNWICK_PRODUCT_NAME "Pictavo PNG to BMP")

include(CPack)
