# setup_product(<id> <definition>)
#
# Makes build/products/<id>/ from a product definition (product/default.product is the
# default and the schema): the resource scripts, manifests and version records of
# setup.exe, the uninstaller and the demo program, and product.h/product.cpp with the
# product's names and texts. Defines the object library product_<id> (link it into
# every program of that product), PRODUCT_<id>_DIR and PRODUCT_<id>_PICTURES. Runs at configure time; a changed
# definition or template configures again.
set(SETUP_PRODUCT_TEMPLATES
  ${CMAKE_SOURCE_DIR}/res/setup.rc.in
  ${CMAKE_SOURCE_DIR}/res/manifest.rc.in
  ${CMAKE_SOURCE_DIR}/res/setup.manifest.in
  ${CMAKE_SOURCE_DIR}/payload/uninstall/uninstall.rc.in
  ${CMAKE_SOURCE_DIR}/payload/uninstall/uninstall.manifest.in
  ${CMAKE_SOURCE_DIR}/payload/pkl/pkl.rc.in
  ${CMAKE_SOURCE_DIR}/payload/pkl/pkl.manifest.in)

function(setup_product id definition)
  get_filename_component(definition "${definition}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
  set(dir ${CMAKE_BINARY_DIR}/products/${id})
  set(script ${CMAKE_SOURCE_DIR}/product/product.py)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${script} ${definition} ${dir} ${SETUP_PRODUCT_TEMPLATES}
    RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "product ${id}: ${definition}:\n${err}")
  endif()
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${definition} ${script} ${CMAKE_SOURCE_DIR}/product/default.product ${SETUP_PRODUCT_TEMPLATES})
  include(${dir}/product.cmake)
  set(pictures ${PRODUCT_ART_ICON} ${PRODUCT_ART_SIDEBAR} ${PRODUCT_ART_HEADER} ${PRODUCT_ART_WARNING})
  add_library(product_${id} OBJECT ${dir}/product.cpp)
  target_include_directories(product_${id} PUBLIC ${dir})
  set(PRODUCT_${id}_DIR ${dir} PARENT_SCOPE)
  set(PRODUCT_${id}_PICTURES ${pictures} PARENT_SCOPE)
endfunction()

# product_resources(<id>): the generated resource scripts of product <id> depend on what
# they pull in. Source properties belong to a folder: call it where the scripts are used.
function(product_resources id)
  set(dir ${PRODUCT_${id}_DIR})
  set_source_files_properties(${dir}/setup.rc PROPERTIES OBJECT_DEPENDS "${PRODUCT_${id}_PICTURES}")
  set_source_files_properties(${dir}/manifest.rc PROPERTIES OBJECT_DEPENDS ${dir}/setup.manifest)
  set_source_files_properties(${dir}/uninstall.rc PROPERTIES OBJECT_DEPENDS ${dir}/uninstall.manifest)
  set_source_files_properties(${dir}/pkl.rc PROPERTIES OBJECT_DEPENDS ${dir}/pkl.manifest)
endfunction()

# product_value(<id> <KEY> <variable>): one value of product <id>, KEY as in product.cmake
# without its PRODUCT_ (FILES_PROGRAM for files.program).
function(product_value id key var)
  include(${PRODUCT_${id}_DIR}/product.cmake)
  set(${var} "${PRODUCT_${key}}" PARENT_SCOPE)
endfunction()
