# Cross toolchain for Windows with mingw-w64 (posix thread model, for std::mutex and std::thread). Included by the
# per-arch toolchain files after they set CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(KAVORIN_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${KAVORIN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVORIN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVORIN_TRIPLE}-windres)
set(CMAKE_AR ${KAVORIN_TRIPLE}-gcc-ar-posix)
set(CMAKE_RANLIB ${KAVORIN_TRIPLE}-gcc-ranlib-posix)
# Third-party libraries cross-built by scripts/build-thirdparty.sh.
if(DEFINED ENV{KAVORIN_CACHE})
  set(KAVORIN_THIRDPARTY_PREFIX $ENV{KAVORIN_CACHE}/prefix-${CMAKE_SYSTEM_PROCESSOR})
else()
  get_filename_component(KAVORIN_THIRDPARTY_PREFIX
    "${CMAKE_CURRENT_LIST_DIR}/../.cache/prefix-${CMAKE_SYSTEM_PROCESSOR}" ABSOLUTE)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${KAVORIN_TRIPLE} ${KAVORIN_THIRDPARTY_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
