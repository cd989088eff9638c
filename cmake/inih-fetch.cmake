# Downloads inih at one commit into DIR/source with FetchContent, in script
# mode, so that the configuring project can report a failure in its own words.
#   cmake -DDIR=<folder> -DREPOSITORY=<git url> -DTAG=<commit> -P inih-fetch.cmake
cmake_minimum_required(VERSION 3.22)
include(FetchContent)
FetchContent_Populate(inih QUIET
  GIT_REPOSITORY ${REPOSITORY}
  GIT_TAG ${TAG}
  SOURCE_DIR ${DIR}/source
  BINARY_DIR ${DIR}/build
  SUBBUILD_DIR ${DIR}/subbuild)
