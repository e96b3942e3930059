# tracksmith_add_documents(<target> <midi files...>)
#
# Adds <target>, built by default, with one build rule per MIDI file: the
# file becomes a .track document in the build tree, at its path relative to
# the current source folder with the extension replaced (songs/a.mid ->
# <build>/songs/a.track; a file outside the source folder goes directly into
# the current build folder). A rule runs again only when its MIDI file or the
# tool changes, so Ninja or Make convert in parallel and incrementally. A file
# that fails to convert fails the build with the tool's message and leaves no
# document behind, so the next build tries it again. Two inputs that would
# become one document (song.mid and song.midi) stop the configuration with
# an error naming both; the documents' folders are made at configure time.
function(tracksmith_add_documents target)
  if(NOT TARGET tracksmith::tool)
    message(FATAL_ERROR "tracksmith_add_documents: the target tracksmith::tool is not known")
  endif()
  set(outputs "")
  foreach(midi IN LISTS ARGN)
    get_filename_component(input "${midi}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    file(RELATIVE_PATH relative "${CMAKE_CURRENT_SOURCE_DIR}" "${input}")
    if(relative MATCHES "^\\.\\./" OR IS_ABSOLUTE "${relative}")
      get_filename_component(relative "${input}" NAME)
    endif()
    get_filename_component(folder "${relative}" DIRECTORY)
    get_filename_component(stem "${relative}" NAME_WLE)
    if(folder)
      set(output "${CMAKE_CURRENT_BINARY_DIR}/${folder}/${stem}.track")
    else()
      set(output "${CMAKE_CURRENT_BINARY_DIR}/${stem}.track")
    endif()
    # Every input that becomes a document is remembered by its document, in
    # this call and in every other one.
    get_property(earlier GLOBAL PROPERTY "tracksmith_document_source:${output}")
    if(earlier)
      file(RELATIVE_PATH shown_output "${CMAKE_BINARY_DIR}" "${output}")
      message(FATAL_ERROR "tracksmith_add_documents(${target}): ${earlier} and ${relative} both become "
                          "${shown_output}; rename one of them")
    endif()
    set_property(GLOBAL PROPERTY "tracksmith_document_source:${output}" "${relative}")
    get_filename_component(output_folder "${output}" DIRECTORY)
    file(MAKE_DIRECTORY "${output_folder}")
    add_custom_command(OUTPUT "${output}"
      COMMAND tracksmith::tool "${input}" "${output}"
      DEPENDS "${input}" tracksmith::tool
      COMMENT "Converting ${relative}"
      VERBATIM)
    list(APPEND outputs "${output}")
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
