# cmake -DFILE=<exe> -DCERT=<pem> -DKEY=<pem> [-DDESCRIPTION=<text>] [-DTIMESTAMP_URL=<url>]
#       [-DTSA_CERT=<pem> -DTSA_KEY=<pem>] -P SignFile.cmake
#
# Authenticode-signs FILE in place with osslsigncode (SHA-256). With SOURCE_DATE_EPOCH
# set, that is the signing time, so the same input and key give the same bytes.
# TIMESTAMP_URL adds an RFC 3161 time stamp from that authority, which keeps the
# signature valid after the certificate has expired; TSA_CERT and TSA_KEY make the time
# stamp offline with that authority's certificate and key instead (the tests' throw-away
# authority). A time stamp carries the authority's serial number: every signing with
# one gives other bytes.
# The build's signing step and the release tests both sign through here.
foreach(var FILE CERT KEY)
  if(NOT ${var})
    message(FATAL_ERROR "SignFile.cmake: ${var} not given")
  endif()
endforeach()
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
# The product's name as the signature describes it (the build passes it).
set(description "")
if(DESCRIPTION)
  set(description -n ${DESCRIPTION})
endif()
set(stamp "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(stamp -time $ENV{SOURCE_DATE_EPOCH})
endif()
set(timestamp "")
if(TSA_CERT AND TSA_KEY)
  set(timestamp -TSA-certs ${TSA_CERT} -TSA-key ${TSA_KEY})
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    list(APPEND timestamp -TSA-time $ENV{SOURCE_DATE_EPOCH})
  endif()
elseif(TSA_CERT OR TSA_KEY)
  message(FATAL_ERROR "SignFile.cmake: TSA_CERT and TSA_KEY go together")
elseif(TIMESTAMP_URL)
  set(timestamp -ts ${TIMESTAMP_URL})
endif()
# Written beside FILE and renamed over it: a failed signing leaves FILE as it was.
file(REMOVE ${FILE}.signed)
execute_process(
  COMMAND ${OSSLSIGNCODE} sign -certs ${CERT} -key ${KEY}
          ${description} -h sha256 ${stamp} ${timestamp}
          -in ${FILE} -out ${FILE}.signed
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${FILE}.signed)
  message(FATAL_ERROR "osslsigncode failed to sign ${FILE}")
endif()
file(RENAME ${FILE}.signed ${FILE})
