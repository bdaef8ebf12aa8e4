# The sprite engine for developers: `cmake --install` (component dev) puts its
# header under include/velmora/, the static library libvelmora-sprite.a, a CMake
# package (find_package(Velmora) gives Velmora::sprite, which brings SDL 1.2
# with it) and a pkg-config file (velmora-sprite.pc). Every path is relative to
# the install prefix, so a staged or moved tree works as well as the real one.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Debian keeps libraries, pkg-config files and CMake packages in the multiarch
# directory lib/<triplet>, under /usr as under /usr/local, and its cross-building
# pkg-config looks nowhere else. GNUInstallDirs picks that directory only when the
# prefix is /usr, which the package's is but the build's need not be.
set(VELMORA_ENGINE_LIBDIR ${CMAKE_INSTALL_LIBDIR})
if(CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_LIBDIR STREQUAL "lib")
  set(VELMORA_ENGINE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
endif()
set(VELMORA_CMAKE_DIR ${VELMORA_ENGINE_LIBDIR}/cmake/Velmora)

set_target_properties(sprite PROPERTIES OUTPUT_NAME velmora-sprite EXPORT_NAME sprite)
# Programs include <velmora/sprite.h>, and <velmora/bmp_check.h> to load other
# pictures through the engine's check.
target_include_directories(sprite INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS sprite EXPORT VelmoraTargets
        ARCHIVE DESTINATION ${VELMORA_ENGINE_LIBDIR} COMPONENT dev)
# Installing stripped (as the package does) keeps the library's symbols and drops
# its debugging information.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VELMORA_ENGINE_LIBDIR}/$<TARGET_FILE_NAME:sprite>\")
endif()" COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/src/sprite.h ${PROJECT_SOURCE_DIR}/src/bmp_check.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velmora COMPONENT dev)
install(EXPORT VelmoraTargets NAMESPACE Velmora:: DESTINATION ${VELMORA_CMAKE_DIR}
        COMPONENT dev)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VelmoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VelmoraConfig.cmake INSTALL_DESTINATION ${VELMORA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VelmoraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VelmoraConfig.cmake
        ${PROJECT_BINARY_DIR}/VelmoraConfigVersion.cmake
        DESTINATION ${VELMORA_CMAKE_DIR} COMPONENT dev)

# pkg-config finds the prefix from where the file lies (${pcfiledir}).
file(RELATIVE_PATH VELMORA_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${VELMORA_ENGINE_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VELMORA_PC_TO_PREFIX "${VELMORA_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-sprite.pc.in
  ${PROJECT_BINARY_DIR}/velmora-sprite.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmora-sprite.pc
        DESTINATION ${VELMORA_ENGINE_LIBDIR}/pkgconfig COMPONENT dev)

# The directories that are the engine's alone, which uninstalling removes once empty.
set(VELMORA_ENGINE_INSTALL_DIRS ${CMAKE_INSTALL_INCLUDEDIR}/velmora ${VELMORA_CMAKE_DIR})

# The development package, libvelmora-sprite-dev, from the dev component (see
# Packaging.cmake), with the copyright and changelog that Debian asks of every
# package (the changelog is compressed by Install.cmake).
install(FILES ${PROJECT_SOURCE_DIR}/dist/copyright ${PROJECT_BINARY_DIR}/dist/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libvelmora-sprite-dev COMPONENT dev)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvelmora-sprite-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libsdl1.2-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "sprite engine of the Velmora demo, for SDL 1.2 programs
Velmora's sprite engine loads sprite sets (BMP frames, their timing and colour
keys, listed in a small info file) and draws animated sprites that save the
background beneath themselves and put it back before they move, so that only
the sprites' own rectangles are ever redrawn. It also reports the rectangles
each pass changed, ready for SDL_UpdateRects.
.
This package holds the header, the static library, a CMake package
(find_package(Velmora), target Velmora::sprite) and a pkg-config file
(velmora-sprite).")
