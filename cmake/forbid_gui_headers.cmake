# brellix_forbid_gui_headers(TARGET CHECK WHAT): before TARGET builds, the
# custom target CHECK reads every source TARGET lists, wherever its folder
# added it, and fails the build if one includes a widget or GUI header.
function(brellix_forbid_gui_headers target check what)
  set(list_file ${CMAKE_BINARY_DIR}/${check}_sources.txt)
  file(GENERATE OUTPUT ${list_file} CONTENT "$<JOIN:$<TARGET_PROPERTY:${target},SOURCES>,\n>\n")
  get_target_property(base ${target} SOURCE_DIR)
  add_custom_target(${check}
    COMMAND ${CMAKE_COMMAND} -DLIST=${list_file} -DBASE=${base} -DROOT=${CMAKE_SOURCE_DIR}/src
            "-DWHAT=${what}" -P ${CMAKE_SOURCE_DIR}/cmake/check_no_gui_headers.cmake
    COMMENT "Checking that ${target} uses no widget or GUI header")
  add_dependencies(${target} ${check})
endfunction()
