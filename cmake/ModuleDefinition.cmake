# Module-definition files list the bus functions with their 32-bit __stdcall argument sizes
# (gp_init@12). On 64-bit Windows there is no such decoration, nor for __cdecl functions (the
# option UNDECORATED): the sizes go from the names. Writes the file for this target to out.
function(qx_target_def in out)
  cmake_parse_arguments(PARSE_ARGV 2 arg "UNDECORATED" "" "")
  file(READ ${in} def_text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 OR arg_UNDECORATED)
    string(REGEX REPLACE "@[0-9]+" "" def_text "${def_text}")
  endif()
  # Written only when its text changes, so that a new configure relinks nothing.
  file(WRITE ${out}.new "${def_text}")
  configure_file(${out}.new ${out} COPYONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${in})
endfunction()
