# Targets: the portable subsystems as object libraries, the platform
# backends, the executables, and (natively) the tools and tests.

# --- The embedded module -----------------------------------------------
set(BRINDLEC_SONG ${PROJECT_SOURCE_DIR}/data/song.xm)
set(BRINDLEC_EMBEDDED ${PROJECT_BINARY_DIR}/generated/embedded_module.cpp)
set(BRINDLEC_SONG_DEPENDS)
if(EXISTS ${BRINDLEC_SONG})
  set(BRINDLEC_SONG_DEPENDS ${BRINDLEC_SONG})
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data)
add_custom_command(
  OUTPUT ${BRINDLEC_EMBEDDED}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${BRINDLEC_SONG} -DOUTPUT=${BRINDLEC_EMBEDDED}
          -P ${PROJECT_SOURCE_DIR}/cmake/embed_module.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/embed_module.cmake
          ${BRINDLEC_SONG_DEPENDS}
  COMMENT "Embedding the module")

# --- Portable code --------------------------------------------------------
file(GLOB BRINDLEC_MUSIC_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/music/*.cpp)
add_library(brindlec_music OBJECT ${BRINDLEC_MUSIC_SOURCES})
target_include_directories(brindlec_music PUBLIC ${PROJECT_SOURCE_DIR})

file(GLOB BRINDLEC_SHELL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/shell/*.cpp)
list(FILTER BRINDLEC_SHELL_SOURCES EXCLUDE REGEX "/main_[a-z]+\\.cpp$")
file(GLOB BRINDLEC_SCENE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scenes/*.cpp)
add_library(brindlec_embedded OBJECT ${BRINDLEC_EMBEDDED})

add_library(brindlec_intro OBJECT ${BRINDLEC_SHELL_SOURCES} ${BRINDLEC_SCENE_SOURCES})
target_include_directories(brindlec_intro PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(brindlec_intro PRIVATE BRINDLEC_VERSION="${PROJECT_VERSION}")

# --- Platform backends ----------------------------------------------------
if(BRINDLEC_PLATFORM STREQUAL "win32")
  include(${PROJECT_SOURCE_DIR}/platform/win32/win32.cmake)
elseif(BRINDLEC_PLATFORM STREQUAL "web")
  include(${PROJECT_SOURCE_DIR}/platform/web/web.cmake)
else()
  include(${PROJECT_SOURCE_DIR}/platform/linux.cmake)
endif()
