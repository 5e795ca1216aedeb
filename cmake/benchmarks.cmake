# Benchmarks are built only on demand (scripts/bench builds them by name):
# no preset's whole build and so no test run compiles them. The native ones
# use Google Benchmark (Debian's libbenchmark-dev); the Windows ones are
# plain timing loops. Their code keeps the preset's optimisation, like the
# product code they measure.
if(NOT WIN32)
  find_package(benchmark QUIET)
endif()

# add_project_benchmark(NAME SOURCES... LIBS ...): one benchmark program.
function(add_project_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT WIN32 AND NOT benchmark_FOUND)
    message(STATUS "${name} is not built: Google Benchmark (libbenchmark-dev) is missing")
    return()
  endif()
  add_executable(${name} EXCLUDE_FROM_ALL ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} bench_table)
  if(NOT WIN32)
    target_link_libraries(${name} PRIVATE benchmark_medians)
  endif()
endfunction()
