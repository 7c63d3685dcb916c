# The language, the build type, the switches of a build, and the compiler
# options that hold for everything in it.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

option(BRINDLEC_TESTS "Build the tests" ON)
option(BRINDLEC_BENCHMARKS "Build the benchmarks" ON)
set(BRINDLEC_SANITIZE "" CACHE STRING "Sanitizer build: address, thread or empty")
option(BRINDLEC_FUZZ "Build the libFuzzer harness of the music player (clang)" OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
endif()

# Sanitizer builds: "address" (AddressSanitizer with UndefinedBehaviorSanitizer
# and LeakSanitizer) or "thread" (ThreadSanitizer).
if(BRINDLEC_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(BRINDLEC_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT BRINDLEC_SANITIZE STREQUAL "")
  message(FATAL_ERROR "BRINDLEC_SANITIZE must be address, thread or empty")
endif()

# The fuzz build (clang only): everything built with AddressSanitizer and
# UndefinedBehaviorSanitizer; music/ adds the fuzzer's coverage.
if(BRINDLEC_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BRINDLEC_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  if(NOT BRINDLEC_SANITIZE STREQUAL "")
    message(FATAL_ERROR "BRINDLEC_FUZZ brings its own sanitizers; leave BRINDLEC_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
