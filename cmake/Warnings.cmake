# Compiler flags shared by every target: warnings, optional -Werror and sanitizers.
add_library(vantry_options INTERFACE)
target_compile_options(vantry_options INTERFACE -Wall -Wextra)
if(VANTRY_WERROR)
  target_compile_options(vantry_options INTERFACE -Werror)
  # GCC 12 raises these inside inlined libstdc++ code (vector::insert, string copies) at -O2 and
  # above where no bound is broken; they stay visible but do not fail the build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(vantry_options INTERFACE -Wno-error=array-bounds -Wno-error=restrict
                                                    -Wno-error=stringop-overflow)
  endif()
endif()
if(VANTRY_SANITIZE)
  target_compile_options(vantry_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                  -fno-sanitize-recover=undefined)
  target_link_options(vantry_options INTERFACE -fsanitize=address,undefined)
endif()
# The fuzz preset: the library gets libFuzzer's coverage hooks; only the fuzz targets link the
# fuzzer's main (fuzz/CMakeLists.txt).
if(VANTRY_FUZZ)
  target_compile_options(vantry_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                  -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vantry_options INTERFACE -fsanitize=address,undefined)
endif()
if(VANTRY_TSAN)
  target_compile_options(vantry_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vantry_options INTERFACE -fsanitize=thread)
endif()
# Every module includes headers by their path from the source root ("image/VxImage.h").
target_include_directories(vantry_options INTERFACE ${PROJECT_SOURCE_DIR})
if(WIN32)
  target_compile_definitions(vantry_options INTERFACE UNICODE _UNICODE)
  target_link_options(vantry_options INTERFACE -static)
endif()

# Adds a test executable from the sources given, linked to GoogleTest and `LIBS`.
# Tests are discovered before each ctest run, so building never needs Wine.
function(vantry_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/TestSupport.cpp
                 ${PROJECT_SOURCE_DIR}/tests/support/PixelOracle.cpp
                 ${PROJECT_SOURCE_DIR}/tests/support/MetafileWriter.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vantry_options GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES ENVIRONMENT "VANTRY_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp")
endfunction()
