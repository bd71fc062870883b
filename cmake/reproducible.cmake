# The Windows trees build byte for byte the same wherever and whenever they are built, which
# `scripts/package --check` shows for the release. No folder is recorded: __FILE__ and any debug
# information name files relative to the sources or to the build. No time is recorded: binutils'
# linker dates the PE header by SOURCE_DATE_EPOCH when it is set (scripts/package sets it to the
# commit's time), and windres writes none.
if(NOT WIN32)
  return()
endif()

# The build folder may lie inside the sources; its mapping comes last so that it wins there.
add_compile_options(
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>)
