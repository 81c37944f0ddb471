# The release archive for Windows users (CPack, ZIP): qx7316-<version>-win32.zip or -win64.zip in the
# build folder, holding everything a user at the bench runs in one folder, qx7316, so that unpacked
# into C:\ it is the C:\qx7316 of README.txt's examples whatever the version. The simulated bus
# library and the bus monitor are both called TAVERIX.dll, as they must be to take the real library's
# place; each lies in a folder named for what it is, so that neither is taken for the real one:
#   qx7316/README.txt               the bench part of README.md, for Notepad
#   qx7316/qx7316.exe               the program
#   qx7316/taverix-gateway.exe      the network gateway
#   qx7316/simulator/TAVERIX.dll    the simulated QX-7316, not the real library
#   qx7316/bus-monitor/TAVERIX.dll  the bus monitor, in front of the real library
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QX_PACKAGE_PLATFORM win32)
  set(QX_PACKAGE_BITS 32)
else()
  set(QX_PACKAGE_PLATFORM win64)
  set(QX_PACKAGE_BITS 64)
endif()
set(QX_PACKAGE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${QX_PACKAGE_PLATFORM})
set(QX_PACKAGE_FOLDER ${PROJECT_NAME})

# The read-me is written from README.md whenever it changes (cmake/WindowsReadme.cmake).
set(QX_PACKAGE_README ${CMAKE_BINARY_DIR}/package/README.txt)
add_custom_command(OUTPUT ${QX_PACKAGE_README}
  COMMAND ${CMAKE_COMMAND} -DREADME_MD=${PROJECT_SOURCE_DIR}/README.md -DOUTPUT=${QX_PACKAGE_README}
          -DVERSION=${PROJECT_VERSION} -DBITS=${QX_PACKAGE_BITS} -P ${PROJECT_SOURCE_DIR}/cmake/WindowsReadme.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/WindowsReadme.cmake
  COMMENT "README.txt for the release archive")
add_custom_target(windows_readme ALL DEPENDS ${QX_PACKAGE_README})

# The files alone: no import libraries go out.
install(PROGRAMS $<TARGET_FILE:qx7316> $<TARGET_FILE:taverix-gateway> DESTINATION ${QX_PACKAGE_FOLDER})
install(FILES ${QX_PACKAGE_README} DESTINATION ${QX_PACKAGE_FOLDER})
install(PROGRAMS $<TARGET_FILE:taverix_sim> DESTINATION ${QX_PACKAGE_FOLDER}/simulator)
install(PROGRAMS $<TARGET_FILE:taverix_monitor> DESTINATION ${QX_PACKAGE_FOLDER}/bus-monitor)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "QX7316 SAMPLE")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${QX_PACKAGE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES OFF)
include(CPack)
