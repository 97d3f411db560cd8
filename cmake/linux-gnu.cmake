# Linux programs for any machine of packaging/architectures, with Debian's
# own GNU toolchain for it (g++-<triplet>; for the build machine's own
# triplet that is its native compiler). The triplet comes from the cache
# variable CAMERA_INFO_TRIPLET (-DCAMERA_INFO_TRIPLET=aarch64-linux-gnu).
# The C library and libstdc++ of another machine come with its cross
# packages under /usr/<triplet>: dpkg's architectures stay untouched.
set(CMAKE_SYSTEM_NAME Linux)
if(NOT CAMERA_INFO_TRIPLET)
  message(FATAL_ERROR "set CAMERA_INFO_TRIPLET to a triplet of packaging/architectures")
endif()
# try_compile projects see the same triplet.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CAMERA_INFO_TRIPLET)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${CAMERA_INFO_TRIPLET}")

set(CMAKE_C_COMPILER ${CAMERA_INFO_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CAMERA_INFO_TRIPLET}-g++)
set(CMAKE_AR ${CAMERA_INFO_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${CAMERA_INFO_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${CAMERA_INFO_TRIPLET}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${CAMERA_INFO_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
