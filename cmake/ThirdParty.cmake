# Libraries cross-built by scripts/build-thirdparty.sh (found through the toolchain's find root) and zlib from the
# distribution's mingw package.

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(Vorbis CONFIG REQUIRED)

add_library(kavorin_thirdparty INTERFACE)
target_link_libraries(kavorin_thirdparty INTERFACE
  PNG::PNG JPEG::JPEG Vorbis::vorbisfile Vorbis::vorbis Ogg::ogg ZLIB::ZLIB)
