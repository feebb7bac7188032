# The library is one CMake library per folder, each using only the folders it declares. Each
# target sees the source tree through an include root of its own in the build tree that
# holds links to the folders it may use and to nothing else, so that an include against the
# arrows is not found by the compiler.

# vantrel_include_root(<target> <PUBLIC|PRIVATE|INTERFACE> <folder>...): `target` includes
# from the named folders of the source tree only ("core/types.h" finds core/types.h).
function(vantrel_include_root target scope)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(MAKE_DIRECTORY ${root})
  # Links left from a configuration that allowed more go first.
  file(GLOB old LIST_DIRECTORIES true ${root}/*)
  foreach(link IN LISTS old)
    get_filename_component(name ${link} NAME)
    if(NOT name IN_LIST ARGN)
      file(REMOVE ${link})
    endif()
  endforeach()
  foreach(folder IN LISTS ARGN)
    set(link ${root}/${folder})
    if(IS_SYMLINK ${link})
      file(READ_SYMLINK ${link} points_to)
      if(NOT points_to STREQUAL ${PROJECT_SOURCE_DIR}/${folder})
        file(REMOVE ${link})
      endif()
    endif()
    if(NOT IS_SYMLINK ${link})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# vantrel_layer(<folder> [USES <folder>...] [EXCLUDE <regex>]): the static library
# vantrel_<folder> from the folder's sources, linked with the libraries of the folders it
# uses. Its sources and its users see the folder and what it uses, directly or through a
# folder it uses (a header of convert/ includes colour/ and core/ headers).
function(vantrel_layer folder)
  cmake_parse_arguments(ARG "" "EXCLUDE" "USES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  if(ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  set(target vantrel_${folder})
  add_library(${target} STATIC ${sources} ${headers})
  set(reach ${folder})
  foreach(use IN LISTS ARG_USES)
    target_link_libraries(${target} PUBLIC vantrel_${use})
    get_property(used GLOBAL PROPERTY vantrel_reach_${use})
    if(NOT used)
      message(FATAL_ERROR "${folder} uses ${use}, which is not a layer declared before it")
    endif()
    list(APPEND reach ${used})
  endforeach()
  list(REMOVE_DUPLICATES reach)
  set_property(GLOBAL PROPERTY vantrel_reach_${folder} ${reach})
  vantrel_include_root(${target} PUBLIC ${reach})
endfunction()

# The folders a layer's sources see: the layer and everything it uses.
function(vantrel_layer_reach folder out)
  get_property(reach GLOBAL PROPERTY vantrel_reach_${folder})
  set(${out} ${reach} PARENT_SCOPE)
endfunction()

# Checks, before `target` compiles, that `files` include headers of the `allowed` folders only.
# The front ends need it: they see every layer below the session, whose headers include
# them, yet may include core/ and session/ headers only.
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

# vantrel_front_end(<target> <folder>): the library of a front end in `folder`, on the
# session. It sees its own folder and the session's; its own files include core/ and
# session/ headers only.
function(vantrel_front_end target folder)
  vantrel_layer_reach(session reach)
  vantrel_include_root(${target} PUBLIC ${folder} ${reach})
  target_link_libraries(${target} PUBLIC vantrel_session)
  file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp
       ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  vantrel_check_includes(${target} ALLOWED ${folder} core session FILES ${files})
endfunction()
