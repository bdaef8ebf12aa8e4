# The Debian package, built with CPack: `make package` (or `cpack -G DEB` in the
# build directory) writes velmora_<version>_<arch>.deb.
#
# Every install component becomes a package of its own (CPACK_DEB_COMPONENT_INSTALL).
# The `velmora` component, the program, is the package named plainly velmora; its
# file name is Debian's own pattern, <name>_<version>_<arch>.deb (DEB-DEFAULT).
# Another component X only needs its own CPACK_DEBIAN_X_PACKAGE_NAME, _SECTION and
# CPACK_COMPONENT_X_DESCRIPTION (first line the synopsis, then the long description).
# For that reason no CPACK_PACKAGE_DESCRIPTION_SUMMARY is set: CPack would put it
# above every component's description.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})

# A package is built for one release: its dependencies are that release's
# (dpkg-shlibdeps), so its version says which, and packages built on two
# releases never share a file name and version: 1.0+deb12, 1.0+deb13, and for
# a release without a number (unstable) its name, 1.0+sid.
cmake_host_system_information(RESULT distribution QUERY DISTRIB_ID)
cmake_host_system_information(RESULT distribution_version QUERY DISTRIB_VERSION_ID)
set(release "")
if(distribution STREQUAL "debian")
  if(distribution_version)
    set(release "deb${distribution_version}")
  elseif(EXISTS /etc/debian_version)
    # "forky/sid" on unstable (and on testing, which apt alone tells apart).
    file(STRINGS /etc/debian_version debian_version LIMIT_COUNT 1)
    string(REGEX REPLACE "^.*/" "" release "${debian_version}")
  endif()
endif()
set(VELMORA_PACKAGE_RELEASE "${release}" CACHE STRING
    "The release the package is built for, appended to its version after a +")
if(VELMORA_PACKAGE_RELEASE)
  set(VELMORA_PACKAGE_VERSION "${PROJECT_VERSION}+${VELMORA_PACKAGE_RELEASE}")
else()
  set(VELMORA_PACKAGE_VERSION "${PROJECT_VERSION}")
endif()
set(CPACK_DEBIAN_PACKAGE_VERSION ${VELMORA_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <dev@velmora.invalid>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${VELMORA_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

# One package per component, even while `velmora` is the only one (CPack would
# otherwise build a single package from the project-wide settings). This file is
# included after every install() rule, so that it sees all components.
get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_VELMORA_PACKAGE_NAME velmora)
# On a scaled Wayland desktop the launcher runs the demo in a native Wayland
# window of the SDL 1.2 compatibility layer, where SDL draws the window's title
# bar and border itself through a libdecor plugin (GNOME draws none for it).
# Debian 12 has the cairo plugin; later releases also the GTK one, their
# default. Debian 12's SDL 1.2 is the classic library, which can't scale: the
# layer installs beside it and the launcher uses it only there.
if(VELMORA_PACKAGE_RELEASE STREQUAL "deb12")
  set(CPACK_DEBIAN_VELMORA_PACKAGE_RECOMMENDS "libsdl1.2-compat, libdecor-0-plugin-1-cairo")
else()
  set(CPACK_DEBIAN_VELMORA_PACKAGE_RECOMMENDS "libdecor-0-plugin-1-gtk | libdecor-0-plugin-1-cairo")
endif()
set(CPACK_DEBIAN_VELMORA_PACKAGE_SECTION games)
set(CPACK_COMPONENT_VELMORA_DESCRIPTION
    "sprite demo: a sun and two vikings animated over a coast
Velmora opens a 1024x768 window, draws a landscape of mountains, the sea and
a longship once, and animates a turning sun and two marching vikings over it
as fast as the machine can present frames. A tiny sprite engine saves the
background beneath every sprite and puts it back before the sprite moves, so
only the sprites' own rectangles are redrawn.
.
The package also holds velmora-check, which tells an artist what the program
makes of a sprite set, velmora-artgen, which draws the demo's art, and
velmora-import, which makes a sprite set from an art tool's PNGs, GIF or sheet.")

# Debian keeps the commands of a game in /usr/games; a source install keeps
# them in bin/ (see Install.cmake). The launcher reaches the program and the
# art by the same relative paths from either, as long as both lie in the prefix.
set(VELMORA_PACKAGE_PROGRAM_DIR games)
get_filename_component(bindir_parent ${CMAKE_INSTALL_FULL_BINDIR} DIRECTORY)
get_filename_component(prefix ${CMAKE_INSTALL_PREFIX} ABSOLUTE)
if(NOT bindir_parent STREQUAL prefix)
  message(FATAL_ERROR "The package puts the commands in ${VELMORA_PACKAGE_PROGRAM_DIR}/ instead of "
                      "${CMAKE_INSTALL_BINDIR}/, so CMAKE_INSTALL_BINDIR must lie directly in the prefix")
endif()
set(CPACK_CUSTOM_INSTALL_VARIABLES "VELMORA_PROGRAM_DIR=${VELMORA_PACKAGE_PROGRAM_DIR}")

include(CPack)
