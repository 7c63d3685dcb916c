# Linux: the SDL2 backend for the intro, the headless (OSMesa) backend for
# the tools and tests, and both sharing the FreeType glyph builder.
find_package(PkgConfig REQUIRED)
find_package(SDL2 REQUIRED)
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
find_package(Threads REQUIRED)
find_package(PNG REQUIRED)
pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)
pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)

set(GLYPH_SOURCES ${PROJECT_SOURCE_DIR}/platform/glyphs/freetype_glyphs.cpp ${PROJECT_SOURCE_DIR}/platform/glyphs/glyph_lists.cpp)

add_library(platform_sdl OBJECT ${PROJECT_SOURCE_DIR}/platform/sdl/sdl_platform.cpp ${GLYPH_SOURCES})
target_include_directories(platform_sdl PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_sdl PUBLIC Freetype::Freetype Fontconfig::Fontconfig SDL2::SDL2 OpenGL::OpenGL PkgConfig::GLU Threads::Threads)

add_library(platform_headless OBJECT ${PROJECT_SOURCE_DIR}/platform/headless/headless_platform.cpp ${GLYPH_SOURCES})
target_include_directories(platform_headless PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_headless PUBLIC Freetype::Freetype Fontconfig::Fontconfig PkgConfig::OSMESA PkgConfig::GLU Threads::Threads)

# The OpenGL 1.1 subset the browser build draws with, here on OSMesa's
# shader calls for brindlec-capture --gl subset.
add_library(platform_gl11 OBJECT ${PROJECT_SOURCE_DIR}/platform/gl11/gl11.cpp
                                 ${PROJECT_SOURCE_DIR}/platform/gl11/gl11_lists.cpp)
target_include_directories(platform_gl11 PUBLIC ${PROJECT_SOURCE_DIR})

# The intro itself.
add_executable(brindlec ${PROJECT_SOURCE_DIR}/shell/main_linux.cpp)
target_link_libraries(brindlec PRIVATE brindlec_intro brindlec_music brindlec_embedded platform_sdl)
target_compile_definitions(brindlec PRIVATE BRINDLEC_VERSION="${PROJECT_VERSION}")

# The whole intro over the headless backend, for the tools and tests (the
# objects are compiled once and shared; object libraries must be linked
# directly by each executable).
set(BRINDLEC_HEADLESS brindlec_intro brindlec_music brindlec_embedded platform_headless PNG::PNG)

# Tools: one folder each under tools/, named after the executable.
function(brindlec_tool name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/${folder}/*.cpp)
  if(sources)
    add_executable(${name} ${sources})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE BRINDLEC_VERSION="${PROJECT_VERSION}")
    target_link_libraries(${name} PRIVATE ${ARGN})
  endif()
endfunction()
add_library(brindlec_tool_common OBJECT ${PROJECT_SOURCE_DIR}/tools/common/offline_audio.cpp)
target_include_directories(brindlec_tool_common PUBLIC ${PROJECT_SOURCE_DIR})
brindlec_tool(brindlec-capture capture brindlec_tool_common platform_gl11 ${BRINDLEC_HEADLESS} ${CMAKE_DL_LIBS})
brindlec_tool(brindlec-music music brindlec_tool_common brindlec_music brindlec_embedded platform_sdl)
brindlec_tool(brindlec-songgen songgen)
brindlec_tool(brindlec-glyphgen glyphgen Freetype::Freetype Fontconfig::Fontconfig)
target_sources(brindlec-glyphgen PRIVATE ${PROJECT_SOURCE_DIR}/platform/glyphs/freetype_glyphs.cpp)

if(BRINDLEC_TESTS)
  enable_testing()
  include(${PROJECT_SOURCE_DIR}/tests/tests.cmake)
endif()
if(BRINDLEC_BENCHMARKS AND EXISTS ${PROJECT_SOURCE_DIR}/bench)
  include(${PROJECT_SOURCE_DIR}/bench/bench.cmake OPTIONAL)
endif()
