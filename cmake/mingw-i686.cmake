# Cross toolchain for the 32-bit Windows product. VT_DEPS_DIR points at the
# cache where scripts/setup.sh installs OpenSSL, libcurl and GoogleTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
if(NOT VT_DEPS_DIR AND DEFINED ENV{VT_DEPS_DIR})
  set(VT_DEPS_DIR "$ENV{VT_DEPS_DIR}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32
    ${VT_DEPS_DIR}/openssl ${VT_DEPS_DIR}/curl ${VT_DEPS_DIR}/gtest)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
