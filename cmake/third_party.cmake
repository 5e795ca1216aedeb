# Libraries the project builds on, each as one target: zlib_dep, minizip_dep,
# pugixml_dep, httplib_dep, gtest_dep. Natively they come from Debian's -dev
# packages; for the mingw targets (and pugixml in the fuzz build) from
# Debian's source packages that scripts/setup unpacks under third_party/src
# (never committed).
set(THIRD_PARTY_SRC ${CMAKE_SOURCE_DIR}/third_party/src)

function(find_source_dir out pattern)
  file(GLOB candidates LIST_DIRECTORIES true "${THIRD_PARTY_SRC}/${pattern}")
  set(dirs)
  foreach(candidate IN LISTS candidates)
    if(IS_DIRECTORY ${candidate})
      list(APPEND dirs ${candidate})
    endif()
  endforeach()
  if(NOT dirs)
    message(FATAL_ERROR "${pattern} not found under ${THIRD_PARTY_SRC}: run scripts/setup")
  endif()
  list(GET dirs 0 dir)
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

add_library(zlib_dep INTERFACE)
add_library(minizip_dep INTERFACE)
add_library(pugixml_dep INTERFACE)
add_library(httplib_dep INTERFACE)
add_library(gtest_dep INTERFACE)

if(WIN32)
  # zlib: Debian's static mingw-w64 build.
  find_library(ZLIB_STATIC NAMES libz.a REQUIRED)
  target_link_libraries(zlib_dep INTERFACE ${ZLIB_STATIC})

  # minizip from zlib's contrib sources, with its wide-path Win32 file I/O.
  find_source_dir(ZLIB_SRC "zlib-*")
  set(MINIZIP_DIR ${ZLIB_SRC}/contrib/minizip)
  add_library(minizip STATIC
    ${MINIZIP_DIR}/ioapi.c ${MINIZIP_DIR}/iowin32.c
    ${MINIZIP_DIR}/unzip.c ${MINIZIP_DIR}/zip.c)
  target_include_directories(minizip SYSTEM PUBLIC ${MINIZIP_DIR})
  target_compile_options(minizip PRIVATE -w)
  target_link_libraries(minizip PUBLIC zlib_dep)
  target_link_libraries(minizip_dep INTERFACE minizip)

  find_source_dir(PUGIXML_SRC "pugixml-*")
  add_library(pugixml STATIC ${PUGIXML_SRC}/src/pugixml.cpp)
  target_include_directories(pugixml SYSTEM PUBLIC ${PUGIXML_SRC}/src)
  target_link_libraries(pugixml_dep INTERFACE pugixml)

  find_source_dir(HTTPLIB_SRC "cpp-httplib-*")
  target_include_directories(httplib_dep SYSTEM INTERFACE ${HTTPLIB_SRC})
  target_link_libraries(httplib_dep INTERFACE ws2_32)

  # GoogleTest from the sources Debian's googletest package installs.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  target_link_libraries(gtest_dep INTERFACE gtest gtest_main)
  compile_as_test_code(gtest)
  compile_as_test_code(gtest_main)
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(zlib_dep INTERFACE ZLIB::ZLIB)

  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  target_link_libraries(minizip_dep INTERFACE PkgConfig::MINIZIP zlib_dep)

  if(MORVANE_FUZZ)
    # The fuzzers steer through the XML parser too: it is compiled from its
    # source with their instrumentation.
    find_source_dir(PUGIXML_SRC "pugixml-*")
    add_library(pugixml_fuzz STATIC ${PUGIXML_SRC}/src/pugixml.cpp)
    target_include_directories(pugixml_fuzz SYSTEM PUBLIC ${PUGIXML_SRC}/src)
    target_link_libraries(pugixml_dep INTERFACE pugixml_fuzz)
  else()
    find_package(pugixml REQUIRED)
    target_link_libraries(pugixml_dep INTERFACE pugixml::pugixml)
  endif()

  # Debian builds cpp-httplib as a library; its defines change the layout
  # of its classes, so they come from its pkg-config file.
  find_package(Threads REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  target_link_libraries(httplib_dep INTERFACE PkgConfig::HTTPLIB Threads::Threads)

  find_package(GTest REQUIRED)
  target_link_libraries(gtest_dep INTERFACE GTest::gtest GTest::gtest_main)
endif()
