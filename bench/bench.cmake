# Benchmarks (Google Benchmark): every bench/*.cpp is an executable of its
# own, linked with the intro over the headless backend. Not run by the test
# suite; run them by hand (see the README) for the figures.
find_package(benchmark REQUIRED)
file(GLOB bench_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/*.cpp)
foreach(source ${bench_sources})
  get_filename_component(name ${source} NAME_WE)
  add_executable(bench_${name} ${source})
  target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(bench_${name} PRIVATE ${BRINDLEC_HEADLESS} benchmark::benchmark)
endforeach()
