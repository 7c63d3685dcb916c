# Windows: the intro as one GUI-subsystem executable over the Win32 backend,
# built for size. It needs no DLL that Windows does not ship itself: the
# MinGW runtime support is linked in statically and the C library is the
# system's msvcrt.dll.

set(BRINDLEC_WIN32_SOURCES
  ${PROJECT_SOURCE_DIR}/entry/main_win32.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_runtime.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_window.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_audio.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_system.cpp)

# Object libraries do not pass their objects on to whoever links them
# indirectly, so the executable names all three itself.
add_executable(brindlec WIN32 ${BRINDLEC_WIN32_SOURCES})
target_include_directories(brindlec PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(brindlec PRIVATE brindlec_intro brindlec_music brindlec_embedded
  opengl32 glu32 gdi32 user32 kernel32 winmm)

# Size: no exceptions, no RTTI, every function in a section of its own so
# the linker drops what nothing calls, then a stripped image. The portable
# code uses no iostreams and no exceptions. Not -fdata-sections: for
# Windows targets GCC then puts zero-filled variables (the voices, the
# track channels) into .data sections of their own, stored in the file
# byte for byte instead of taking no room in .bss.
set(BRINDLEC_SIZE_COMPILE_OPTIONS
  -fno-exceptions -fno-rtti -fno-stack-protector -fno-ident -ffunction-sections)
# The 32-bit release carries no unwind tables either; 64-bit Windows wants
# them (.pdata) in every function that a fault may have to be unwound
# through, and that build is for testing, not for size.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND BRINDLEC_SIZE_COMPILE_OPTIONS -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()
foreach(target brindlec_intro brindlec_music brindlec_embedded brindlec)
  target_compile_options(${target} PRIVATE ${BRINDLEC_SIZE_COMPILE_OPTIONS})
endforeach()
# libstdc++ switches MinGW's own printf family on for every C++ file, and
# with it some 25 KiB of formatting code (floating point, wide characters).
# The intro formats only its plain texts: the system msvcrt.dll does that
# through MinGW's small C99-conforming vsnprintf wrapper.
foreach(target brindlec_intro brindlec_music brindlec_embedded brindlec)
  target_compile_definitions(${target} PRIVATE __mingw_vsnprintf=__ms_vsnprintf)
endforeach()
# The process starts in win32_runtime.cpp's WinMainCRTStartup, without
# MinGW's start-up objects and so without their relocator: a reference to
# data in a DLL that would need it is refused at link time. The image is
# loaded at its preferred address, as intros always were: no base
# relocations (some 2.5 KiB), so no address-space randomisation for a
# program that reads nothing from outside. The 32-bit runtime objects'
# unwind tables go too (discard_unwind_tables.ld).
target_link_options(brindlec PRIVATE
  -nostartfiles -static-libgcc -static-libstdc++
  -Wl,--disable-auto-import -Wl,--disable-runtime-pseudo-reloc
  -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
  -Wl,--gc-sections -s)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(discard_script ${PROJECT_SOURCE_DIR}/platform/win32/discard_unwind_tables.ld)
  target_link_options(brindlec PRIVATE -Wl,-T,${discard_script})
  set_property(TARGET brindlec APPEND PROPERTY LINK_DEPENDS ${discard_script})
endif()
