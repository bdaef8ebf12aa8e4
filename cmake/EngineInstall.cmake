# The sprite engine for developers: `cmake --install` (component dev) puts its
# header under include/velmora/, the static library libvelmora-sprite.a, a CMake
# package (find_package(Velmora) gives Velmora::sprite, which brings SDL 1.2
# with it) and a pkg-config file (velmora-sprite.pc). Every path is relative to
# the install prefix, so a staged or moved tree works as well as the real one.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELMORA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velmora)

set_target_properties(sprite PROPERTIES OUTPUT_NAME velmora-sprite EXPORT_NAME sprite)
# Programs include <velmora/sprite.h>.
target_include_directories(sprite INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS sprite EXPORT VelmoraTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/src/sprite.h
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
file(RELATIVE_PATH VELMORA_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VELMORA_PC_TO_PREFIX "${VELMORA_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-sprite.pc.in
  ${PROJECT_BINARY_DIR}/velmora-sprite.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmora-sprite.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
