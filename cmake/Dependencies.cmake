# Third-party libraries. Natively they come from Debian's packages; in the Windows build
# they come from the dependency cache that scripts/build-windows-deps.sh fills
# (VANTRY_DEPS_PREFIX), built from Debian's sources with the MinGW toolchain.
if(WIN32)
  set(VANTRY_DEPS_PREFIX "" CACHE PATH "Prefix holding the MinGW builds of GoogleTest and libjpeg-turbo")
  if(VANTRY_DEPS_PREFIX)
    list(PREPEND CMAKE_PREFIX_PATH "${VANTRY_DEPS_PREFIX}")
  endif()
  find_package(GTest REQUIRED NO_CMAKE_FIND_ROOT_PATH)
else()
  find_package(GTest REQUIRED)
  find_package(Freetype REQUIRED)
  find_package(Fontconfig REQUIRED)
endif()
find_package(Threads REQUIRED)
