find_program(GDBUS_CODEGEN gdbus-codegen REQUIRED)

# mdm_gdbus_codegen(OUT_VAR XML file OUTPUT basename PREFIX iface-prefix
#                   [NAMESPACE ns] [OBJECT_MANAGER])
# Generates <basename>.c/.h into the current binary dir; OUT_VAR gets both paths.
function(mdm_gdbus_codegen out_var)
  cmake_parse_arguments(A "OBJECT_MANAGER" "XML;OUTPUT;PREFIX;NAMESPACE" "" ${ARGN})
  set(args --interface-prefix ${A_PREFIX} --generate-c-code ${A_OUTPUT})
  if(A_NAMESPACE)
    list(APPEND args --c-namespace ${A_NAMESPACE})
  endif()
  if(A_OBJECT_MANAGER)
    list(APPEND args --c-generate-object-manager)
  endif()
  get_filename_component(xml ${A_XML} ABSOLUTE)
  set(base ${CMAKE_CURRENT_BINARY_DIR}/${A_OUTPUT})
  add_custom_command(
    OUTPUT ${base}.c ${base}.h
    COMMAND ${GDBUS_CODEGEN} ${args} ${xml}
    DEPENDS ${xml}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "gdbus-codegen ${A_OUTPUT}"
    VERBATIM)
  set(${out_var} ${base}.c ${base}.h PARENT_SCOPE)
endfunction()
