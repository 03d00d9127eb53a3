# The release: ilhome.exe with the README and the licence, zipped into dist/.
# Only the Windows build makes a release; see scripts/release.
if(WIN32)
  install(TARGETS ilhome RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME ilhome)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/dist)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
endif()
