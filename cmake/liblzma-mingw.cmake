# Static liblzma for the mingw builds, made from Debian's xz-utils source package.
# Debian ships no mingw liblzma. The source is fetched once into the build tree
# (never into the repository) and built with the same toolchain as the program.
# Provides the imported target liblzma_static.
include_guard(GLOBAL)
include(ExternalProject)

set(_xz_src ${CMAKE_BINARY_DIR}/_deps/xz-src)
set(_xz_bin ${CMAKE_BINARY_DIR}/_deps/xz-build)
if(NOT EXISTS ${_xz_src}/CMakeLists.txt)
  set(_xz_dl ${CMAKE_BINARY_DIR}/_deps/xz-download)
  file(REMOVE_RECURSE ${_xz_dl})
  file(MAKE_DIRECTORY ${_xz_dl})
  message(STATUS "Fetching the xz-utils source package (apt-get source xz-utils)")
  execute_process(COMMAND apt-get source xz-utils
                  WORKING_DIRECTORY ${_xz_dl}
                  RESULT_VARIABLE _xz_rc OUTPUT_QUIET ERROR_VARIABLE _xz_err)
  file(GLOB _xz_dirs LIST_DIRECTORIES true ${_xz_dl}/xz-utils-*)
  list(FILTER _xz_dirs EXCLUDE REGEX "\\.(dsc|xz|gz|asc)$")
  list(LENGTH _xz_dirs _xz_n)
  if(NOT _xz_rc EQUAL 0 OR NOT _xz_n EQUAL 1 OR NOT EXISTS ${_xz_dirs}/CMakeLists.txt)
    message(FATAL_ERROR "apt-get source xz-utils failed (run tools/setup-machine.sh for the deb-src entry):\n${_xz_err}")
  endif()
  file(RENAME ${_xz_dirs} ${_xz_src})
  file(REMOVE_RECURSE ${_xz_dl})
endif()

ExternalProject_Add(liblzma_mingw
  SOURCE_DIR ${_xz_src}
  BINARY_DIR ${_xz_bin}
  DOWNLOAD_COMMAND ""
  UPDATE_COMMAND ""
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=MinSizeRel
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
