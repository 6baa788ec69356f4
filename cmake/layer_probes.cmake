# Probes of the include roots (cmake/layers.cmake): each compiles one file with a library's own include root. The
# upward ones must fail to compile and the allowed one must compile; tests/hardening/layering_test.sh builds them.
set(LAYER_PROBES
  payload_includes_ui:payload payload_includes_install:payload platform_includes_payload:platform
  install_includes_ui:install_state tools_includes_install:mkinstaller_lib product_includes_payload:product
  allowed:window_logic)
set(LAYER_PROBE_TARGETS "")
foreach(probe ${LAYER_PROBES})
  string(REPLACE ":" ";" parts ${probe})
  list(GET parts 0 name)
  list(GET parts 1 library)
  add_library(layer_probe_${name} OBJECT EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/hardening/layer_probes/${name}.cpp)
  target_link_libraries(layer_probe_${name} PRIVATE ${library})
  list(APPEND LAYER_PROBE_TARGETS layer_probe_${name})
endforeach()
if(NOT WIN32)
  add_test(NAME layering COMMAND ${CMAKE_SOURCE_DIR}/tests/hardening/layering_test.sh ${CMAKE_BINARY_DIR}
    ${LAYER_PROBE_TARGETS})
endif()
