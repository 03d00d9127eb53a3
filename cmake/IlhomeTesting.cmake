# The Windows build runs its tests under Wine (the toolchain file sets the
# emulator); the host runs them directly.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(ILHOME_TESTS_UNDER_WINE ON)
else()
  set(ILHOME_TESTS_UNDER_WINE OFF)
endif()

# GoogleTest: the host links Debian's installed library; the Windows build
# compiles it from the sources Debian ships in /usr/src/googletest.
if(ILHOME_TESTS_UNDER_WINE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(ILHOME_GTEST_LIBS gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  set(ILHOME_GTEST_LIBS GTest::gtest GTest::gtest_main)
endif()

# ilhome_test(NAME SOURCES ... LIBS ...): one test program. On the host each
# case is its own CTest test; under Wine the program runs once as one test,
# since every start of Wine costs a second or more.
function(ilhome_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${ILHOME_GTEST_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 at -O2 warns about overlapping copies inside std::string's own
    # inlined concatenation (GCC bug 105329); the tests build strings freely.
    target_compile_options(${name} PRIVATE -Wno-restrict)
  endif()
  if(ILHOME_TESTS_UNDER_WINE)
    add_test(NAME ${name} COMMAND ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
