# Include roots: each library sees only its own headers and those of the layers below it (ui -> install ->
# payload -> platform; tools -> payload -> platform; the product's facts below install and tools). A root is a
# folder of the build tree holding links to the folders of src/ that its library may include, so an upward
# include does not compile (tests/hardening/layering_test.sh proves it on every run).

# The folders of src/ each layer may include, its own first.
set(LAYER_platform platform)
set(LAYER_product product platform)
set(LAYER_payload payload platform)
set(LAYER_install install payload product platform)
set(LAYER_ui ui install payload product platform)
set(LAYER_tools payload product platform)
# The tests and the fuzz targets see every layer.
set(LAYER_tests ui install payload product platform)

# The include root of a layer, made once per build tree.
function(layer_root layer out)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${layer})
  if(NOT EXISTS ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(folder ${LAYER_${layer}})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# Gives target the include root of layer (PUBLIC: what links it sees what it exposes, never more than below).
function(use_layer target layer)
  layer_root(${layer} root)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
