# Compiles a text form resource into a program: the file's bytes become a
# C++ array registered under the resource's name at start-up.
#   add_form_resource(TARGET Form1 path/to/Unit1.dfm)
function(add_form_resource target name file)
  get_filename_component(abs "${file}" ABSOLUTE)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}_res.cpp")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DIN=${abs} -DOUT=${out} -DNAME=${name}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResource.cmake
    DEPENDS "${abs}" ${PROJECT_SOURCE_DIR}/cmake/EmbedResource.cmake
    COMMENT "Embedding form resource ${name} for ${target}")
  target_sources(${target} PRIVATE "${out}")
endfunction()
