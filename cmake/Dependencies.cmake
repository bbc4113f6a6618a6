# Third-party libraries under one set of names on both platforms, so a module links
#   vantry_jpeg      libjpeg, API 62 (Debian's libjpeg62-turbo; on Windows our static libjpeg-turbo)
#   vantry_freetype  FreeType, plus fontconfig natively to resolve face names to font files
#   vantry_agg       Anti-Grain Geometry, the rasteriser of the portable metafile player
#   GTest::gtest, GTest::gtest_main, GTest::gmock
# without caring where they come from. Natively they are Debian's packages. The Windows build
# takes them from the prefixes scripts/build-windows-deps.sh fills: VANTRY_DEPS_PREFIX (a list)
# or, when that is empty, the script's default cache, which it reports itself.
find_package(Threads REQUIRED)

if(WIN32)
  set(VANTRY_DEPS_PREFIX "" CACHE STRING
      "Prefixes (a ;-list) holding the MinGW builds of GoogleTest, libjpeg-turbo, FreeType and AGG")
  set(vantry_deps_prefix "${VANTRY_DEPS_PREFIX}")
  if(NOT vantry_deps_prefix)
    # Asked on every configure, not cached, so a version upgrade moves to the new prefixes.
    execute_process(COMMAND bash "${PROJECT_SOURCE_DIR}/scripts/build-windows-deps.sh" --print-prefix-path
                    OUTPUT_VARIABLE vantry_deps_prefix ERROR_VARIABLE deps_error RESULT_VARIABLE deps_result
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT deps_result EQUAL 0)
      message(FATAL_ERROR "The Windows-side libraries are not built yet:\n${deps_error}")
    endif()
  endif()
  message(STATUS "Windows-side libraries from: ${vantry_deps_prefix}")
  # Only these prefixes: never fall back to the native Linux packages of the same names.
  set(deps_search PATHS ${vantry_deps_prefix} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  find_package(GTest CONFIG REQUIRED ${deps_search})
  find_package(libjpeg-turbo CONFIG REQUIRED ${deps_search})
  find_package(freetype CONFIG REQUIRED ${deps_search})
  find_package(agg CONFIG REQUIRED ${deps_search})

  add_library(vantry_jpeg INTERFACE)
  target_link_libraries(vantry_jpeg INTERFACE libjpeg-turbo::jpeg-static)
  add_library(vantry_freetype INTERFACE)
  target_link_libraries(vantry_freetype INTERFACE freetype)
  add_library(vantry_agg INTERFACE)
  target_link_libraries(vantry_agg INTERFACE agg::agg)
else()
  find_package(GTest REQUIRED)
  find_package(JPEG REQUIRED)
  find_package(Freetype REQUIRED)
  find_package(Fontconfig REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(AGG REQUIRED libagg)

  add_library(vantry_jpeg INTERFACE)
  target_link_libraries(vantry_jpeg INTERFACE JPEG::JPEG)
  add_library(vantry_freetype INTERFACE)
  target_link_libraries(vantry_freetype INTERFACE Freetype::Freetype Fontconfig::Fontconfig)
  # Only AGG's header-only core is used: its include directory, no library.
  add_library(vantry_agg INTERFACE)
  target_include_directories(vantry_agg SYSTEM INTERFACE ${AGG_INCLUDE_DIRS})
endif()
