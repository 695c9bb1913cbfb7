# cmake -DFILE=<exe> -DCERT=<pem> -DKEY=<pem> -P SignFile.cmake
#
# Authenticode-signs FILE in place with osslsigncode (SHA-256). With SOURCE_DATE_EPOCH
# set, that is the signing time, so the same input and key give the same bytes.
# The build's signing step and the release tests both sign through here.
foreach(var FILE CERT KEY)
  if(NOT ${var})
    message(FATAL_ERROR "SignFile.cmake: ${var} not given")
  endif()
endforeach()
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
set(stamp "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(stamp -time $ENV{SOURCE_DATE_EPOCH})
endif()
# Written beside FILE and renamed over it: a failed signing leaves FILE as it was.
file(REMOVE ${FILE}.signed)
execute_process(
  COMMAND ${OSSLSIGNCODE} sign -certs ${CERT} -key ${KEY}
          -n "QuillmateV1.0.0614 beta" -h sha256 ${stamp}
          -in ${FILE} -out ${FILE}.signed
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${FILE}.signed)
  message(FATAL_ERROR "osslsigncode failed to sign ${FILE}")
endif()
file(RENAME ${FILE}.signed ${FILE})
