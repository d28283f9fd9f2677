# The package to hand over: cmake --build <build> --target package makes a ZIP with ombru.exe, the
# log viewer, the administrator's reference and a SHA256SUMS that matches them.
install(TARGETS ombru log_viewer RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/docs/administration.md DESTINATION .)
# Last, once the files it lists are in place; in the format `sha256sum -c` reads.
install(CODE [[
  set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  set(sums "")
  foreach(name administration.md log_viewer.exe ombru.exe)
    file(SHA256 "${folder}/${name}" hash)
    string(APPEND sums "${hash}  ${name}\n")
  endforeach()
  file(WRITE "${folder}/SHA256SUMS" "${sums}")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ombru)
set(CPACK_PACKAGE_VENDOR "${OMBRU_COMPANY_NAME}")
set(CPACK_PACKAGE_FILE_NAME "ombru-${PROJECT_VERSION}-win64")
include(CPack)
