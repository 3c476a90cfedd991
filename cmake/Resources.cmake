# kelvano_resources(<target> <script.rc> [DEPENDS files...] [INCLUDES dirs...])
#
# Compiles the resource script at build time with kelvano-rc and links the resulting table
# into <target> (an executable or a shared library), where host/resource finds it by the
# module's handle. The table is pulled in by an assembler .incbin, so a large payload costs
# little more than copying it. Files the script includes or names are tracked through a
# dependency file written by kelvano-rc; DEPENDS adds files made by other build steps (such
# as generated pictures), so they are built first. One script per target.
function(kelvano_resources target script)
  cmake_parse_arguments(K "" "" "DEPENDS;INCLUDES" ${ARGN})
  # A static library would drop the table: nothing references it by symbol.
  get_target_property(_type ${target} TYPE)
  if(NOT _type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$")
    message(FATAL_ERROR "kelvano_resources: ${target} is a ${_type}; resources belong to "
                        "an executable or a shared library")
  endif()
  get_target_property(_done ${target} KELVANO_RESOURCE_SCRIPT)
  if(_done)
    message(FATAL_ERROR "kelvano_resources: ${target} already has the script ${_done}")
  endif()
  set_target_properties(${target} PROPERTIES KELVANO_RESOURCE_SCRIPT ${script})

  get_filename_component(_script ${script} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}.resources)
  set(_table ${_dir}/resources.bin)
  set(_embed ${_dir}/resources_embed.cpp)
  set(_dep ${_dir}/resources.d)
  set(_includes "")
  foreach(_i ${K_INCLUDES})
    get_filename_component(_i ${_i} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND _includes -I ${_i})
  endforeach()
  file(MAKE_DIRECTORY ${_dir})

  add_custom_command(
    OUTPUT ${_table} ${_embed}
    COMMAND kelvano-rc ${_includes} -o ${_table} --embed ${_embed} --depfile ${_dep} ${_script}
    DEPENDS kelvano-rc ${_script} ${K_DEPENDS}
    DEPFILE ${_dep}
    COMMENT "Compiling resources ${script} for ${target}"
    VERBATIM)
  # The generated source names the table's checksum, so the object follows every change of
  # the table; OBJECT_DEPENDS also orders the compile after the table is written.
  set_source_files_properties(${_embed} PROPERTIES GENERATED TRUE OBJECT_DEPENDS ${_table})
  target_sources(${target} PRIVATE ${_embed})
endfunction()
