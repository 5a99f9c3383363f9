# The Debian package: `cpack -G DEB` in the build folder writes
# tarnwick_<version>_<arch>.deb with the layout of the install target below
# /usr. The libraries it needs are found by dpkg-shlibdeps from the linked
# program and modules; what it opens at run time is named here.

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
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://pictavo.example/tarnwick/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The modules have no SONAME and take the core's symbols from the program
# that loads them; dpkg-shlibdeps only warns about those symbols.
# Beyond the linked libraries: the fonts the frame and watermark texts use,
# and Qt's platform plugins, which Qt loads itself.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, fonts-dejavu-core, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, xdg-utils")

include(CPack)
