# Static liblzma for the mingw builds, made from Debian's xz-utils source package.
# Debian ships no mingw liblzma. tools/setup-machine.sh puts the source in
# SETUP_DEPS_DIR; it is built with the same toolchain as the program.
# Provides the imported target liblzma_static.
include_guard(GLOBAL)
include(ExternalProject)

set(_xz_src ${SETUP_DEPS_DIR}/xz-utils)
set(_xz_bin ${CMAKE_BINARY_DIR}/_deps/xz-build)
if(NOT EXISTS ${_xz_src}/CMakeLists.txt)
  message(FATAL_ERROR "The xz-utils source is not in ${_xz_src}: run tools/setup-machine.sh")
endif()

ExternalProject_Add(liblzma_mingw
  SOURCE_DIR ${_xz_src}
  BINARY_DIR ${_xz_bin}
  DOWNLOAD_COMMAND ""
  UPDATE_COMMAND ""
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    # for speed, as Debian builds the native one: the archiver's decoding is most of its time
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG"
    -DBUILD_SHARED_LIBS=OFF
    -DBUILD_TESTING=OFF
    "-DCMAKE_C_FLAGS=-ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -fno-unwind-tables"
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target liblzma
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${_xz_bin}/liblzma.a)

add_library(liblzma_static STATIC IMPORTED GLOBAL)
set_target_properties(liblzma_static PROPERTIES
  IMPORTED_LOCATION ${_xz_bin}/liblzma.a
  INTERFACE_INCLUDE_DIRECTORIES ${_xz_src}/src/liblzma/api
  INTERFACE_COMPILE_DEFINITIONS LZMA_API_STATIC)
add_dependencies(liblzma_static liblzma_mingw)
