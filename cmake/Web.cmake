# The web build (web/), from the host's build: `cmake --build build --target web`
# (`make web`) configures web/ with Emscripten's emcmake in build/web and builds
# the static site into VELMORA_WEB_SITE, with the art of the host's velmora-artgen.
# The browser test (tests/web) has the whole build build it too.
find_program(VELMORA_EMCMAKE emcmake DOC "Emscripten's CMake wrapper, for the web build")
set(VELMORA_WEB_SITE ${PROJECT_SOURCE_DIR}/build-web CACHE PATH "Where the web build writes its static site")

if(VELMORA_EMCMAKE)
  add_custom_target(web
    COMMAND ${VELMORA_EMCMAKE} ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR}/web -B ${CMAKE_BINARY_DIR}/web
            -DVELMORA_ARTGEN=$<TARGET_FILE:velmora-artgen> -DVELMORA_SITE=${VELMORA_WEB_SITE}
    COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR}/web
    DEPENDS velmora-artgen
    COMMENT "Building the web site into ${VELMORA_WEB_SITE}"
    VERBATIM)
else()
  add_custom_target(web
    COMMAND ${CMAKE_COMMAND} -E echo "the web build needs Emscripten: scripts/install-deps.sh --web installs it"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
