# What makes the Windows build a release an administrator can deploy: one version for every
# binary's version resource, hardening, bytes that do not depend on when or where they were
# built, and an optional Authenticode signature.

set(OMBRU_COMPANY_NAME "Velmora" CACHE STRING "CompanyName of the version resources")
set(OMBRU_PRODUCT_NAME "Velmora Tessaline" CACHE STRING "ProductName of the version resources")
set(OMBRU_LEGAL_COPYRIGHT "Copyright (C) 2026 Velmora" CACHE STRING
    "LegalCopyright of the version resources")
configure_file(${CMAKE_SOURCE_DIR}/src/res/ombru_version.h.in
               ${CMAKE_BINARY_DIR}/generated/ombru_version.h @ONLY)

# Hardening: stack protector and fortified C library calls in the code, and in the image ASLR with
# high entropy, DEP and terminal-server awareness (the agent runs in every session of a
# terminal server). Off only for the benchmarks' comparison with an unhardened build.
option(OMBRU_HARDEN "Stack protector and fortified calls" ON)
if(OMBRU_HARDEN)
  add_compile_options(-fstack-protector-strong)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(-fstack-protector-strong)
endif()
add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat -Wl,--tsaware)

# Reproducible: no link time in the image and no build folder in any string, so that two builds
# of the same source in different folders give the same bytes.
add_link_options(-Wl,--no-insert-timestamp)
# (Not for coverage, whose counters must find their sources and their folders.)
if(NOT OMBRU_COVERAGE)
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
endif()

# Optional signing. Only file names reach the build: the password stays in its file.
set(OMBRU_SIGNING_CERT "" CACHE FILEPATH "PKCS#12 file whose certificate signs the release")
set(OMBRU_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "File that holds the certificate's password")
set(OMBRU_SIGNING_TIMESTAMP_URL "" CACHE STRING "Authenticode timestamp server (optional)")

# The version resource of one of the release's programs, and its signature once linked.
function(ombru_release_binary target description)
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  file(WRITE ${resource}
       "#define OMBRU_FILE_DESCRIPTION \"${description}\"\n"
       "#define OMBRU_ORIGINAL_FILENAME \"${target}.exe\"\n"
       "#include \"version_info.rc\"\n")
  target_sources(${target} PRIVATE ${resource})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/res
                                               ${CMAKE_BINARY_DIR}/generated)
  if(NOT OMBRU_SIGNING_CERT)
    return()
  endif()
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${OSSLSIGNCODE} -DCERT=${OMBRU_SIGNING_CERT}
            -DPASSWORD_FILE=${OMBRU_SIGNING_PASSWORD_FILE}
            -DTIMESTAMP_URL=${OMBRU_SIGNING_TIMESTAMP_URL} -DDESCRIPTION=${description}
            -DBINARY=$<TARGET_FILE:${target}> -P ${CMAKE_SOURCE_DIR}/cmake/sign.cmake
    VERBATIM)
endfunction()
