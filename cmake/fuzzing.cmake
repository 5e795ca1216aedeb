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

# Each target's corpus: written first by its seed program, grown by every
# run of the target.
set(FUZZ_CORPUS_ROOT ${CMAKE_BINARY_DIR}/fuzz-corpus)
# How long `ctest` runs each target: a smoke run from the seeds. Longer runs:
# scripts/fuzz TARGET SECONDS.
set(FUZZ_TEST_SECONDS 2)

# add_fuzz_seeds(NAME SOURCES... LIBS...): a program that writes the seed
# corpora of some targets under FUZZ_CORPUS_ROOT; ctest runs it before them.
function(add_fuzz_seeds name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name} ${FUZZ_CORPUS_ROOT})
  set_tests_properties(${name} PROPERTIES FIXTURES_SETUP ${name} LABELS fuzz)
endfunction()

# add_fuzz_target(NAME SEEDS seed-program [SECONDS n] SOURCES... LIBS...):
# a libFuzzer program, run by ctest for a few seconds on its corpus
# FUZZ_CORPUS_ROOT/NAME.
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
            -print_final_stats=1 ${FUZZ_CORPUS_ROOT}/${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${ARG_SEEDS} LABELS fuzz)
  # Targets that write files do so in the temporary folder: in memory where
  # the machine has a memory file system, several times faster than a disk.
  if(IS_DIRECTORY /dev/shm)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT TMPDIR=/dev/shm)
  endif()
endfunction()
