# The fuzz build (preset native-fuzz): every parser of outside input has a
# libFuzzer target. The whole build is instrumented for the fuzzer's
# coverage and runs under AddressSanitizer and UndefinedBehaviorSanitizer,
# so the product's own libraries are linked as they are and undefined
# behaviour stops a run like a crash does.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "MORVANE_FUZZ needs clang (use the native-fuzz preset)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

# Each target's corpus, FUZZ_CORPUS_ROOT/<target>: the seeds its seed
# program writes, and what every longer run (scripts/fuzz) adds.
set(FUZZ_CORPUS_ROOT ${CMAKE_BINARY_DIR}/fuzz-corpus)
# `ctest` runs each target for a few seconds from its seeds alone, in a
# folder made anew each time: libFuzzer first runs every input of its
# corpus, so a corpus grown by long runs would make the test ever longer.
set(FUZZ_SMOKE_ROOT ${CMAKE_BINARY_DIR}/fuzz-smoke)
set(FUZZ_TEST_SECONDS 2)

add_test(NAME fuzz_smoke_clean COMMAND ${CMAKE_COMMAND} -E rm -rf ${FUZZ_SMOKE_ROOT})
set_tests_properties(fuzz_smoke_clean PROPERTIES FIXTURES_SETUP fuzz_smoke_clean LABELS fuzz)

# add_fuzz_seeds(NAME SOURCES... LIBS...): a program that writes the seeds
# of some targets under each corpus root it is given; ctest runs it before
# them, into both roots.
function(add_fuzz_seeds name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name} ${FUZZ_CORPUS_ROOT} ${FUZZ_SMOKE_ROOT})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_SETUP ${name} FIXTURES_REQUIRED fuzz_smoke_clean LABELS fuzz)
endfunction()

# add_fuzz_target(NAME SEEDS seed-program [SECONDS n] SOURCES... LIBS...):
# a libFuzzer program, run by ctest for a few seconds from its seeds.
function(add_fuzz_target name)
  cmake_parse_arguments(ARG "" "SEEDS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS ${FUZZ_TEST_SECONDS})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  add_test(NAME ${name}
    COMMAND ${name} -max_total_time=${ARG_SECONDS} -timeout=10 -rss_limit_mb=1024
            -print_final_stats=1 ${FUZZ_SMOKE_ROOT}/${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${ARG_SEEDS} LABELS fuzz)
  # Targets that write files do so in the temporary folder: in memory where
  # the machine has a memory file system, several times faster than a disk.
  if(IS_DIRECTORY /dev/shm)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT TMPDIR=/dev/shm)
  endif()
endfunction()
