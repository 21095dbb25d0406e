# Every target includes by path from the source root ("core/CLEDView.h"),
# but sees only the folders it may use: its include root in the build tree
# holds symbolic links to those folders (or single files) and nothing else.
# A target's root is public, so whatever links it sees them too; a folder a
# target neither owns nor links is not found, and an include that crosses
# the layers the wrong way (the core reaching into host/, the platform into
# core/) stops the build.
#
# quill_include_root(<target> <folder or file below the source root>...)
function(quill_include_root target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  # Links of an earlier configuration that the list no longer names go.
  file(REMOVE_RECURSE ${root})
  set(linked "")
  foreach(path IN LISTS ARGN)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${path})
      message(FATAL_ERROR "quill_include_root(${target}): ${path} does not exist")
    endif()
    # A path inside a folder already linked would be made through that
    # link, in the source tree itself, and replace the file there by a link
    # to itself.
    foreach(folder IN LISTS linked)
      string(FIND "${path}/" "${folder}/" at)
      if(at EQUAL 0)
        message(FATAL_ERROR "quill_include_root(${target}): ${path} lies in ${folder}, "
          "which is linked already")
      endif()
    endforeach()
    list(APPEND linked ${path})
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  elseif(type MATCHES "LIBRARY$")
    target_include_directories(${target} PUBLIC ${root})
  else()
    target_include_directories(${target} PRIVATE ${root})
  endif()
endfunction()
