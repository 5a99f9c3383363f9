# Where an installation puts things, below the prefix (CMAKE_INSTALL_PREFIX,
# /usr unless given, as the Debian package installs there):
#
#   lib/tarnwick/     the program and its loadable modules (architecture-dependent)
#   share/tarnwick/   the manual tarnwick.html, its pictures images/ and the
#                     theme packages gfx/ (architecture-independent data)
#
# The program looks for each data file beside itself first (the build folder
# keeps everything in bin/), then in the data folder as seen from the program
# folder (../../share/tarnwick/, so an installation moved as a whole or
# unpacked elsewhere still finds its data), then in <prefix>/share/tarnwick/
# fixed at build time.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Installation prefix" FORCE)
endif()

set(TARNWICK_PROGRAM_INSTALL_DIR lib/tarnwick)
set(TARNWICK_DATA_INSTALL_DIR share/tarnwick)
set(TARNWICK_DOC_INSTALL_DIR share/doc/tarnwick)

file(RELATIVE_PATH TARNWICK_DATA_FROM_PROGRAM
  ${CMAKE_INSTALL_PREFIX}/${TARNWICK_PROGRAM_INSTALL_DIR}
  ${CMAKE_INSTALL_PREFIX}/${TARNWICK_DATA_INSTALL_DIR})
set(TARNWICK_INSTALLED_DATA_DIR ${CMAKE_INSTALL_PREFIX}/${TARNWICK_DATA_INSTALL_DIR})

# Folders made by the installation are rwxr-xr-x whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
