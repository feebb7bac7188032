# The SONAME of a shared library file ("libtiff.so.6"): the name the dynamic loader opens it
# by, for the libraries loaded on first use and for the package's dependencies on them.
function(vantrel_soname library out)
  file(REAL_PATH ${library} file)
  execute_process(COMMAND objdump -p ${file} OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
  if(NOT dynamic MATCHES "SONAME +(lib[^\n]+\\.so\\.[^\n]+)")
    message(FATAL_ERROR "${file} has no SONAME of the form libNAME.so.VERSION")
  endif()
  set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

# The file of the library named `stem` ("libheif") among pkg-config's LINK_LIBRARIES.
function(vantrel_library_file libraries stem out)
  set(found ${libraries})
  list(FILTER found INCLUDE REGEX "/${stem}[.]so")
  list(GET found 0 first)
  set(${out} ${first} PARENT_SCOPE)
endfunction()

# The file of an imported library target, whatever configuration it was imported for.
function(vantrel_imported_file target out)
  get_target_property(file ${target} IMPORTED_LOCATION_RELEASE)
  if(NOT file)
    get_target_property(file ${target} IMPORTED_LOCATION)
  endif()
  set(${out} ${file} PARENT_SCOPE)
endfunction()
