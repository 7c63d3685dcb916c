# The libFuzzer harness of the music player: any input is loaded through
# the memory source and, if it loads, played offline for a few hundred
# ticks. Only the music player carries coverage instrumentation, so the
# fuzzer steers by the loader, tick engine and mixer alone.
target_compile_options(brindlec_music PRIVATE -fsanitize=fuzzer-no-link)

add_executable(fuzz_song ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_song.cpp)
target_include_directories(fuzz_song PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(fuzz_song PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_song PRIVATE -fsanitize=fuzzer)
target_link_libraries(fuzz_song PRIVATE brindlec_music platform_headless)

# Writes the seed modules that the tests' module builder makes.
add_executable(fuzz_make_corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/make_corpus.cpp)
target_include_directories(fuzz_make_corpus PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(fuzz_make_corpus PRIVATE brindlec_music platform_headless)
