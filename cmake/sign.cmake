# Signs one linked binary in place with osslsigncode (Authenticode, SHA-256). Run by the build
# after linking; the password is read from its file by osslsigncode itself.
set(arguments sign -pkcs12 ${CERT} -h sha256 -n ${DESCRIPTION})
if(PASSWORD_FILE)
  list(APPEND arguments -readpass ${PASSWORD_FILE})
endif()
if(TIMESTAMP_URL)
  list(APPEND arguments -ts ${TIMESTAMP_URL})
endif()
file(REMOVE ${BINARY}.signed)
execute_process(COMMAND ${OSSLSIGNCODE} ${arguments} -in ${BINARY} -out ${BINARY}.signed
                OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${BINARY}.signed)
  message(FATAL_ERROR "osslsigncode could not sign ${BINARY}")
endif()
file(RENAME ${BINARY}.signed ${BINARY})
