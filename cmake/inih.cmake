# Finds the INI library with pkg-config. Natively the system's package; for the
# Windows cross build an installed mingw package, else the prebuilt copy in the
# shared deps folder. Never builds or bundles the library itself.
find_package(PkgConfig REQUIRED)
if(CMAKE_CROSSCOMPILING)
  set(_inih_shared "${CMAKE_SOURCE_DIR}/../shared/deps/inih-r55-mingw64/lib/pkgconfig")
  set(_inih_system "/usr/x86_64-w64-mingw32/lib/pkgconfig:/usr/lib/x86_64-w64-mingw32/pkgconfig:/usr/x86_64-w64-mingw32/share/pkgconfig")
  # Only the target's own package folders: the native inih must not be taken.
  set(ENV{PKG_CONFIG_LIBDIR} "${_inih_system}")
  set(ENV{PKG_CONFIG_PATH} "")
  pkg_check_modules(INIH QUIET inih)
  if(NOT INIH_FOUND AND EXISTS "${_inih_shared}/inih.pc")
    set(ENV{PKG_CONFIG_LIBDIR} "${_inih_shared}")
    pkg_check_modules(INIH QUIET inih)
  endif()
  if(NOT INIH_FOUND)
    message(FATAL_ERROR
      "No inih library for x86_64-w64-mingw32 was found with pkg-config.\n"
      "Install a mingw-w64 build of inih whose inih.pc lies in one of\n"
      "  ${_inih_system}\n"
      "or place the prebuilt copy at ../shared/deps/inih-r55-mingw64 beside this checkout.")
  endif()
else()
  pkg_check_modules(INIH inih)
  if(NOT INIH_FOUND)
    message(FATAL_ERROR "The inih library was not found with pkg-config: install libinih-dev.")
  endif()
endif()
# The library as pkg-config describes it, searched in its own folder also when
# that folder lies outside the cross toolchain's root.
add_library(inih_library INTERFACE)
target_include_directories(inih_library INTERFACE ${INIH_INCLUDE_DIRS})
target_compile_options(inih_library INTERFACE ${INIH_CFLAGS_OTHER})
target_link_directories(inih_library INTERFACE ${INIH_LIBRARY_DIRS})
# Natively the static archive when the package ships one: one shared object
# less for the loader at every start of the launcher.
if(NOT CMAKE_CROSSCOMPILING)
  find_library(INIH_STATIC_LIBRARY NAMES libinih.a HINTS ${INIH_LIBRARY_DIRS})
endif()
if(INIH_STATIC_LIBRARY)
  target_link_libraries(inih_library INTERFACE ${INIH_STATIC_LIBRARY})
else()
  target_link_libraries(inih_library INTERFACE ${INIH_LIBRARIES})
endif()
add_library(inih::inih ALIAS inih_library)
