# The floors of the code. Each folder is a library of its own that links
# only the floors it may use, so code on one floor cannot call into a floor
# above it; scripts/check_layers.sh (a test) also refuses an include that
# names a folder the floor may not use. The table of who may use whom is
# written to <build>/layers.txt from the calls below, so the check and the
# link graph never disagree.
#
# quillon_add_layer(TARGET FOLDER [DEPENDS floor-target...] [LIBRARIES other...]
#                   [EXCLUDE file...])
#   builds FOLDER/*.cpp (but the EXCLUDE files) into the static library
#   TARGET, linked PUBLIC to the floors it DEPENDS on and to outside
#   LIBRARIES.
# quillon_declare_layer(FOLDER [DEPENDS floor-target...]) records the rule
#   for a folder built some other way (a program).
set_property(GLOBAL PROPERTY QUILLON_LAYER_RULES "")

function(_quillon_record_layer folder)
  set(allowed ${folder})
  foreach(dependency IN LISTS ARGN)
    get_property(dependency_folders GLOBAL PROPERTY QUILLON_LAYER_FOLDERS_${dependency})
    list(APPEND allowed ${dependency_folders})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  string(REPLACE ";" "," allowed_text "${allowed}")
  set_property(GLOBAL APPEND PROPERTY QUILLON_LAYER_RULES "${folder}:${allowed_text}")
  set_property(GLOBAL PROPERTY QUILLON_LAYER_FOLDERS_${folder} "${allowed}")
endfunction()

function(quillon_add_layer target folder)
  cmake_parse_arguments(LAYER "" "" "DEPENDS;LIBRARIES;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  foreach(excluded IN LISTS LAYER_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${folder}/${excluded})
  endforeach()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${LAYER_DEPENDS} ${LAYER_LIBRARIES})
  quillon_set_warnings(${target})
  _quillon_record_layer(${folder} ${LAYER_DEPENDS})
  get_property(allowed GLOBAL PROPERTY QUILLON_LAYER_FOLDERS_${folder})
  set_property(GLOBAL PROPERTY QUILLON_LAYER_FOLDERS_${target} "${allowed}")
endfunction()

function(quillon_declare_layer folder)
  cmake_parse_arguments(LAYER "" "" "DEPENDS" ${ARGN})
  _quillon_record_layer(${folder} ${LAYER_DEPENDS})
endfunction()

# Writes <build>/layers.txt: one "folder:allowed,folders" line per floor.
function(quillon_write_layer_rules)
  get_property(rules GLOBAL PROPERTY QUILLON_LAYER_RULES)
  list(JOIN rules "\n" text)
  file(WRITE ${CMAKE_BINARY_DIR}/layers.txt "${text}\n")
endfunction()
