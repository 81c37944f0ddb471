# qx_version_resource(TARGET FILE_NAME INTERNAL_NAME DESCRIPTION): gives a program or DLL of the
# project its version resource (product, version, what the file is), so that Explorer's Properties
# tell apart files of the same name, such as the simulator's and the bus monitor's TAVERIX.dll.
function(qx_version_resource target file_name internal_name description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(QX_VERSION_FILE_TYPE VFT_APP)
  else()
    set(QX_VERSION_FILE_TYPE VFT_DLL)
  endif()
  set(QX_VERSION_FILE_NAME ${file_name})
  set(QX_VERSION_INTERNAL_NAME ${internal_name})
  set(QX_VERSION_DESCRIPTION ${description})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
endfunction()
