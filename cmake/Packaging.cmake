# The release archive for Windows users (CPack, ZIP): qx7316-<version>-win32.zip or -win64.zip in the
# build folder, holding the program, a read-me and the simulated bus library in a folder of its own, so
# that it is never taken for the real TAVERIX.dll:
#   qx7316-<version>-win32/qx7316.exe
#   qx7316-<version>-win32/README.txt
#   qx7316-<version>-win32/simulator/TAVERIX.dll
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QX_PACKAGE_PLATFORM win32)
  set(QX_PACKAGE_BITS 32)
else()
  set(QX_PACKAGE_PLATFORM win64)
  set(QX_PACKAGE_BITS 64)
endif()
set(QX_PACKAGE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${QX_PACKAGE_PLATFORM})

# Windows' Notepad of old shows lines only when they end in CR LF.
set(QX_PACKAGE_README ${CMAKE_BINARY_DIR}/package/README.txt)
configure_file(${PROJECT_SOURCE_DIR}/panel/README-Windows.txt.in ${QX_PACKAGE_README} @ONLY NEWLINE_STYLE CRLF)

# The files alone: no import libraries go out.
install(PROGRAMS $<TARGET_FILE:qx7316> DESTINATION .)
install(FILES ${QX_PACKAGE_README} DESTINATION .)
install(PROGRAMS $<TARGET_FILE:taverix_sim> DESTINATION simulator)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "QX7316 SAMPLE")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${QX_PACKAGE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)
include(CPack)
