# Installs Velmora like a desktop program, under CMAKE_INSTALL_PREFIX and DESTDIR:
#   bin/velmora                       the launcher (dist/velmora.in)
#   bin/velmora-check, bin/velmora-artgen, bin/velmora-import
#   libexec/velmora/velmora           the program itself, off the user's PATH
#   libexec/velmora/velmora-output-scale  the Wayland desktop's scale, for the launcher
#   share/velmora/                    the art: bg.bmp, includes/sun, includes/vikings
#   share/applications/velmora.desktop, share/icons/hicolor/NxN/apps/velmora.png,
#   share/metainfo/<id>.metainfo.xml  the menu entry, its icons and the AppStream data
#   share/man/man6/velmora.6.gz, share/man/man1/velmora-{check,artgen,import}.1.gz
#   share/doc/velmora/copyright, changelog.gz
# All of it is the `velmora` component, the runtime package (see Packaging.cmake).
include(GNUInstallDirs)

set(VELMORA_HOMEPAGE "https://velmora.invalid/" CACHE STRING
    "The project's home page, for the package and the AppStream data")
set(VELMORA_APPSTREAM_ID "invalid.velmora.Velmora")
set(VELMORA_ICON_SIZES 16 32 48 64 128 256)
set(VELMORA_DIST ${PROJECT_BINARY_DIR}/dist)
set(dist_sources ${PROJECT_SOURCE_DIR}/dist)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Where the commands go is decided when installing: bin/ by default, or what
# VELMORA_PROGRAM_DIR says (the Debian package uses games/, as Debian's games do).
install(CODE "if(NOT DEFINED VELMORA_PROGRAM_DIR)
  set(VELMORA_PROGRAM_DIR \"${CMAKE_INSTALL_BINDIR}\")
endif()" COMPONENT velmora)

# The launcher finds the program and the art relative to its own directory.
file(RELATIVE_PATH VELMORA_LAUNCHER_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBEXECDIR}/velmora/velmora)
file(RELATIVE_PATH VELMORA_LAUNCHER_DATA ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/velmora)
configure_file(${dist_sources}/velmora.in ${VELMORA_DIST}/velmora @ONLY)

configure_file(${dist_sources}/velmora.metainfo.xml.in
               ${VELMORA_DIST}/${VELMORA_APPSTREAM_ID}.metainfo.xml @ONLY)

# The man pages, from scdoc sources, compressed as Debian keeps them.
find_program(SCDOC scdoc)
find_program(GZIP gzip)
if(NOT SCDOC OR NOT GZIP)
  message(FATAL_ERROR "The man pages need scdoc and gzip: run scripts/install-deps.sh")
endif()
set(dist_outputs "")
foreach(page IN ITEMS velmora.6 velmora-check.1 velmora-artgen.1 velmora-import.1)
  set(page_gz ${VELMORA_DIST}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${page_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_DIST}/man
    COMMAND ${SCDOC} < ${dist_sources}/man/${page}.scd > ${VELMORA_DIST}/man/${page}
    COMMAND ${GZIP} -9nf ${VELMORA_DIST}/man/${page}
    DEPENDS ${dist_sources}/man/${page}.scd
    COMMENT "Writing the man page ${page}")
  list(APPEND dist_outputs ${page_gz})
endforeach()

add_custom_command(
  OUTPUT ${VELMORA_DIST}/changelog.gz
  COMMAND ${GZIP} -9nc ${dist_sources}/changelog > ${VELMORA_DIST}/changelog.gz
  DEPENDS ${dist_sources}/changelog)
list(APPEND dist_outputs ${VELMORA_DIST}/changelog.gz)

# The icons, drawn by the art generator.
foreach(size IN LISTS VELMORA_ICON_SIZES)
  set(icon ${VELMORA_DIST}/icons/hicolor/${size}x${size}/apps/velmora.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND velmora-artgen --icon ${size} ${icon}
    DEPENDS velmora-artgen
    COMMENT "Drawing the ${size}x${size} icon")
  list(APPEND dist_outputs ${icon})
endforeach()

add_custom_target(dist ALL DEPENDS ${dist_outputs})

# The programs.
install(PROGRAMS ${VELMORA_DIST}/velmora DESTINATION "\${VELMORA_PROGRAM_DIR}" COMPONENT velmora)
install(TARGETS velmora-check velmora-artgen velmora-import
        RUNTIME DESTINATION "\${VELMORA_PROGRAM_DIR}" COMPONENT velmora)
install(TARGETS velmora velmora-output-scale
        RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/velmora COMPONENT velmora)

# The art, as the build drew it.
install(FILES ${VELMORA_DATA_DIR}/bg.bmp DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora
        COMPONENT velmora)
install(DIRECTORY ${VELMORA_DATA_DIR}/includes DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora
        COMPONENT velmora FILES_MATCHING PATTERN "info" PATTERN "*.bmp")

# The desktop: menu entry, icons and AppStream data.
install(FILES ${dist_sources}/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT velmora)
install(DIRECTORY ${VELMORA_DIST}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        COMPONENT velmora)
install(FILES ${VELMORA_DIST}/${VELMORA_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT velmora)

# Man pages and the documents Debian asks of every package.
install(FILES ${VELMORA_DIST}/man/velmora.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6
        COMPONENT velmora)
install(FILES ${VELMORA_DIST}/man/velmora-check.1.gz ${VELMORA_DIST}/man/velmora-artgen.1.gz
              ${VELMORA_DIST}/man/velmora-import.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT velmora)
install(FILES ${dist_sources}/copyright ${VELMORA_DIST}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT velmora)

# `cmake --build build --target uninstall` removes what the last full install
# wrote, as its manifest lists it, and then the directories of Velmora's own
# that it leaves empty.
set(VELMORA_OWN_INSTALL_DIRS
    ${CMAKE_INSTALL_DATADIR}/velmora ${CMAKE_INSTALL_LIBEXECDIR}/velmora ${CMAKE_INSTALL_DOCDIR}
    ${VELMORA_ENGINE_INSTALL_DIRS})
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          "-DOWN_DIRS=${VELMORA_OWN_INSTALL_DIRS}" -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  VERBATIM)
