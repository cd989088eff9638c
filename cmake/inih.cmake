# The INI library inih, as the target inih::inih. Three ways, in this order:
#   1. pkg-config: an installed package (Debian's libinih-dev natively, MSYS2's
#      mingw inih package on Windows, a mingw-w64 build for the cross compiler);
#   2. FetchContent: inih's release r55, downloaded from its public repository
#      at its pinned commit;
#   3. offline: FETCHCONTENT_SOURCE_DIR_INIH names a local copy of that release.
# Ways 2 and 3 build ini.c as a static library with the library's default
# options (the options the distributions build it with). Never bundled here.
set(INIH_GIT_REPOSITORY "https://github.com/benhoyt/inih.git")
set(INIH_GIT_TAG "f7f69c6cff2681d84bae371130b4a018cb2171e6")   # release r55

set(INIH_THREE_WAYS
  "The INI library inih was not found. Any one of these three ways works:\n"
  "  1. install it where pkg-config finds it: libinih-dev on Debian, the mingw inih package on MSYS2,\n"
  "  2. let CMake download release r55 from ${INIH_GIT_REPOSITORY} (needs git and the network),\n"
  "  3. offline, pass -DFETCHCONTENT_SOURCE_DIR_INIH=<folder holding ini.c and ini.h of inih r55>.")

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  if(CMAKE_CROSSCOMPILING)
    # Only the target's own package folders: the build machine's inih must not be taken.
    set(target_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
    set(ENV{PKG_CONFIG_LIBDIR} "/usr/${target_triple}/lib/pkgconfig:/usr/lib/${target_triple}/pkgconfig")
    set(ENV{PKG_CONFIG_PATH} "")
  endif()
  pkg_check_modules(INIH QUIET inih)
endif()

if(INIH_FOUND)
  message(STATUS "inih ${INIH_VERSION} from pkg-config")
  if(FETCHCONTENT_SOURCE_DIR_INIH)
    message(STATUS "inih: pkg-config's package is used, not ${FETCHCONTENT_SOURCE_DIR_INIH}")
  endif()
  # The library as pkg-config describes it, searched in its own folder also
  # when that folder lies outside the cross toolchain's root.
  add_library(inih_library INTERFACE)
  target_include_directories(inih_library INTERFACE ${INIH_INCLUDE_DIRS})
  target_compile_options(inih_library INTERFACE ${INIH_CFLAGS_OTHER})
  target_link_directories(inih_library INTERFACE ${INIH_LIBRARY_DIRS})
  # The static archive when the package ships one: one shared object less for
  # the loader at every start of the launcher.
  find_library(INIH_STATIC_LIBRARY NAMES libinih.a HINTS ${INIH_LIBRARY_DIRS} NO_CACHE)
  if(INIH_STATIC_LIBRARY)
    target_link_libraries(inih_library INTERFACE ${INIH_STATIC_LIBRARY})
  else()
    target_link_libraries(inih_library INTERFACE ${INIH_LIBRARIES})
  endif()
  add_library(inih::inih ALIAS inih_library)
  # inih's licence, which the Windows zip carries: where MSYS2 and Debian put it.
  find_file(INIH_LICENSE_FILE NAMES LICENSE.txt LICENSE copyright
            PATHS ${INIH_PREFIX}/share/licenses/inih ${INIH_PREFIX}/share/doc/libinih-dev
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  return()
endif()

include(FetchContent)
if(FETCHCONTENT_SOURCE_DIR_INIH)
  if(NOT EXISTS "${FETCHCONTENT_SOURCE_DIR_INIH}/ini.c" OR NOT EXISTS "${FETCHCONTENT_SOURCE_DIR_INIH}/ini.h")
    message(FATAL_ERROR
      "FETCHCONTENT_SOURCE_DIR_INIH (${FETCHCONTENT_SOURCE_DIR_INIH}) holds no ini.c and ini.h.\n"
      ${INIH_THREE_WAYS})
  endif()
  message(STATUS "inih from ${FETCHCONTENT_SOURCE_DIR_INIH}")
else()
  # The download runs in a child CMake first, so that a machine without git or
  # network gets the three ways rather than a failed sub-build. Once fetched,
  # the copy in the build tree serves every later configure.
  set(INIH_FETCHED_DIR "${FETCHCONTENT_BASE_DIR}/inih-download")
  if(NOT EXISTS "${INIH_FETCHED_DIR}/source/ini.c")
    message(STATUS "inih: not found with pkg-config; fetching release r55")
    execute_process(
      COMMAND ${CMAKE_COMMAND} -DDIR=${INIH_FETCHED_DIR} -DREPOSITORY=${INIH_GIT_REPOSITORY}
              -DTAG=${INIH_GIT_TAG} -P ${CMAKE_CURRENT_LIST_DIR}/inih-fetch.cmake
      RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(failed OR NOT EXISTS "${INIH_FETCHED_DIR}/source/ini.c")
      message(FATAL_ERROR ${INIH_THREE_WAYS} "\nThe download said:\n${output}")
    endif()
  endif()
  set(FETCHCONTENT_SOURCE_DIR_INIH "${INIH_FETCHED_DIR}/source")
endif()

FetchContent_Declare(inih GIT_REPOSITORY ${INIH_GIT_REPOSITORY} GIT_TAG ${INIH_GIT_TAG})
FetchContent_MakeAvailable(inih)   # inih has no CMake build of its own: this only populates
add_library(inih_library STATIC "${inih_SOURCE_DIR}/ini.c")
target_include_directories(inih_library SYSTEM PUBLIC "${inih_SOURCE_DIR}")
set_target_properties(inih_library PROPERTIES OUTPUT_NAME inih)
if(NOT INIH_LICENSE_FILE)
  set(INIH_LICENSE_FILE "${inih_SOURCE_DIR}/LICENSE.txt")
endif()
add_library(inih::inih ALIAS inih_library)
