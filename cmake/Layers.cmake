# The product's libraries form layers: the frame and the signal processing
# at the bottom, the parameters above the processing, the VST 2 engine above
# both, the editor window above the parameters, the VST 2 editor glue above
# the engine and the window, the entry point on top. An include names
# its folder from the source root ("plugin/dsp/Numeric.h"), and each library
# sees only the folders of its own layer and of the libraries it links: the
# source root is not on any of their include paths. So an include from a
# lower layer into a higher one (the engine into the editor, say) does not
# compile. Each layer's folders are reached through links in the build tree
# that reproduce their place under the source root; a single file may be
# named in place of a folder.
function(velmora_layer target)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  foreach(folder ${ARGN})
    set(link ${root}/${folder})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${link})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
