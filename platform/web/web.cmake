# The browser build (Emscripten): brindlec.html with brindlec.js and
# brindlec.wasm, and brindlec-single.html, which carries everything inside
# and opens from file://. The intro's portable objects are the same as
# everywhere; the browser backend and the OpenGL 1.1 subset draw them.

# The glyphs, rendered at build time by brindlec-glyphgen built for the
# build machine (the browser has neither FreeType nor the system fonts).
include(ExternalProject)
set(BRINDLEC_GLYPHGEN ${PROJECT_BINARY_DIR}/host-glyphgen/brindlec-glyphgen)
ExternalProject_Add(glyphgen_host
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools/glyphgen
  BINARY_DIR ${PROJECT_BINARY_DIR}/host-glyphgen
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${BRINDLEC_GLYPHGEN})
set(BRINDLEC_GLYPHS ${PROJECT_BINARY_DIR}/generated/embedded_glyphs.cpp)
add_custom_command(
  OUTPUT ${BRINDLEC_GLYPHS}
  COMMAND ${BRINDLEC_GLYPHGEN} ${BRINDLEC_GLYPHS}
  DEPENDS glyphgen_host ${BRINDLEC_GLYPHGEN}
  COMMENT "Rendering the glyphs")

# The scenes hand their constant texts to print_text as the format, as the
# intro always has (they hold no conversions); clang's -Wall objects.
target_compile_options(brindlec_intro PRIVATE -Wno-format-security)

add_library(platform_web OBJECT
  ${PROJECT_SOURCE_DIR}/platform/web/web_platform.cpp
  ${PROJECT_SOURCE_DIR}/platform/web/web_audio.cpp
  ${PROJECT_SOURCE_DIR}/platform/web/web_gl.cpp
  ${PROJECT_SOURCE_DIR}/platform/gl11/gl11.cpp
  ${PROJECT_SOURCE_DIR}/platform/gl11/gl11_lists.cpp
  ${PROJECT_SOURCE_DIR}/platform/glyphs/glyph_lists.cpp
  ${BRINDLEC_GLYPHS})
target_include_directories(platform_web PUBLIC ${PROJECT_SOURCE_DIR})

# Emscripten runs its JavaScript optimiser with Node, which finds Debian's
# packaged modules (acorn) only through NODE_PATH with some Node builds.
set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs")

# The frame loop waits for messages as it does everywhere; Asyncify lets
# each wait hand the page back to the browser. Calls through pointers
# never wait, so only the direct callers of the waits are rewritten.
set(BRINDLEC_WEB_LINK_OPTIONS
  -sASYNCIFY=1 -sASYNCIFY_IGNORE_INDIRECT=1
  -sMODULARIZE=1 -sEXPORT_NAME=createBrindlec -sENVIRONMENT=web
  -sFILESYSTEM=0 -sINITIAL_MEMORY=16777216 -sALLOW_MEMORY_GROWTH=0
  -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1
  -sGL_SUPPORT_AUTOMATIC_ENABLE_EXTENSIONS=0 -sGL_EXTENSIONS_IN_PREFIXED_FORMAT=0)

foreach(variant brindlec brindlec-single)
  add_executable(${variant} ${PROJECT_SOURCE_DIR}/shell/main_web.cpp)
  target_link_libraries(${variant} PRIVATE brindlec_intro brindlec_music brindlec_embedded platform_web)
  target_link_options(${variant} PRIVATE ${BRINDLEC_WEB_LINK_OPTIONS})
endforeach()
target_link_options(brindlec-single PRIVATE -sSINGLE_FILE=1)

# The pages: brindlec.html next to its .js and .wasm, and the single file
# with the script inside.
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/brindlec.html ${PROJECT_BINARY_DIR}/brindlec-single.html
  COMMAND ${CMAKE_COMMAND} -DPAGE=${PROJECT_SOURCE_DIR}/platform/web/brindlec.html
          -DSCRIPT=$<TARGET_FILE:brindlec-single> -DOUT_DIR=${PROJECT_BINARY_DIR}
          -P ${PROJECT_SOURCE_DIR}/platform/web/make_pages.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/platform/web/brindlec.html ${PROJECT_SOURCE_DIR}/platform/web/make_pages.cmake
          brindlec-single
  COMMENT "Writing the pages")
add_custom_target(web_pages ALL DEPENDS ${PROJECT_BINARY_DIR}/brindlec.html ${PROJECT_BINARY_DIR}/brindlec-single.html)
