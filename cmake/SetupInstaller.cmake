# add_setup_installer(<target> ARCHIVE <file> ARCHIVER <file> [PRODUCT <id>]
#                     [DEPENDS <targets/files>...])
#
# Links one setup.exe of product <id> (setup_product, default "default"; its file name is
# the product's, in build/installers/<target>/) that carries ARCHIVE as resource 132 and
# ARCHIVER as resource 133 (type "setup", language 0x0804).
# The default installer and the test variants (damaged archive, damaged archiver, large
# payload) are all made with it.
function(add_setup_installer target)
  cmake_parse_arguments(ARG "" "ARCHIVE;ARCHIVER;PRODUCT" "DEPENDS" ${ARGN})
  if(NOT ARG_PRODUCT)
    set(ARG_PRODUCT default)
  endif()
  set(product_dir ${PRODUCT_${ARG_PRODUCT}_DIR})
  product_value(${ARG_PRODUCT} SETUP_FILE_NAME file_name)
  set(dir ${CMAKE_BINARY_DIR}/installers/${target})
  set(rc ${dir}/payload.rc)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${rc}.in
"LANGUAGE 0x04, 0x02
132 SETUP \"${ARG_ARCHIVE}\"
133 SETUP \"${ARG_ARCHIVER}\"
")
  configure_file(${rc}.in ${rc} COPYONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${ARG_ARCHIVE};${ARG_ARCHIVER}")
  product_resources(${ARG_PRODUCT})
  add_executable(${target} WIN32
    ${CMAKE_SOURCE_DIR}/afx/appmodul.cpp
    ${CMAKE_SOURCE_DIR}/afx/afxcrt.cpp
    ${product_dir}/setup.rc
    ${product_dir}/manifest.rc
    ${rc})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/afx ${CMAKE_SOURCE_DIR}/res)
  target_link_libraries(${target} PRIVATE setup_core product_${ARG_PRODUCT})
  target_link_options(${target} PRIVATE ${AFX_ENTRY_POINT})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${file_name} RUNTIME_OUTPUT_DIRECTORY ${dir})
  if(ARG_DEPENDS)
    add_dependencies(${target} ${ARG_DEPENDS})
  endif()
  setup_sign(${target} ${ARG_PRODUCT})
endfunction()

# setup_sign(<target> [<product id>])
#
# Authenticode-signs the target's executable right after linking, when the vendor gives a
# certificate and its key (SETUP_SIGN_CERT, SETUP_SIGN_KEY), time-stamped when a time-stamp
# authority is given. Every executable we ship is signed this way, the archiver, the
# expander and the demo application's programs before they go into the archive and the
# resources of setup.exe.
function(setup_sign target)
  if(NOT SETUP_SIGN_CERT OR NOT SETUP_SIGN_KEY)
    return()
  endif()
  set(product default)
  if(ARGC GREATER 1)
    set(product ${ARGV1})
  endif()
  product_value(${product} SETUP_SIGN_DESCRIPTION description)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DCERT=${SETUP_SIGN_CERT}
            -DKEY=${SETUP_SIGN_KEY} "-DDESCRIPTION=${description}" -DTIMESTAMP_URL=${SETUP_SIGN_TIMESTAMP_URL}
            -DTSA_CERT=${SETUP_SIGN_TSA_CERT} -DTSA_KEY=${SETUP_SIGN_TSA_KEY}
            -P ${CMAKE_SOURCE_DIR}/cmake/SignFile.cmake
    VERBATIM)
endfunction()
