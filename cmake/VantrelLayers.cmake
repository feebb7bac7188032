# The library is one CMake library per folder, each using only the folders it declares; an
# include against the arrows fails the build.

# Checks, before `target` compiles, that `files` include headers of the `allowed` folders only.
function(vantrel_check_includes target)
  cmake_parse_arguments(ARG "" "" "ALLOWED;FILES" ${ARGN})
  list(JOIN ARG_ALLOWED "|" allowed)
  list(JOIN ARG_FILES "|" files)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layers)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DALLOWED=${allowed} -DFILES=${files} -DSTAMP=${stamp}
            -P ${PROJECT_SOURCE_DIR}/cmake/check_layering.cmake
    DEPENDS ${ARG_FILES} ${PROJECT_SOURCE_DIR}/cmake/check_layering.cmake
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  add_custom_target(${target}_layers DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layers)
endfunction()

# vantrel_layer(<folder> [USES <folder>...] [EXCLUDE <regex>]): the static library
# vantrel_<folder> from the folder's sources, linked with the libraries of the folders it uses.
function(vantrel_layer folder)
  cmake_parse_arguments(ARG "" "EXCLUDE" "USES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  set(target vantrel_${folder})
  add_library(${target} STATIC ${sources} ${headers})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(use IN LISTS ARG_USES)
    target_link_libraries(${target} PUBLIC vantrel_${use})
  endforeach()
  file(GLOB all_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  vantrel_check_includes(${target} ALLOWED ${folder} ${ARG_USES} FILES ${all_sources} ${headers})
endfunction()
