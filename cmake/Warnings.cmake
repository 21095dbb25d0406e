# Project-wide warning set; CI turns warnings into errors.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(QUILL_WERROR)
  add_compile_options(-Werror)
endif()

# Creates a library from a globbed source list; while a folder has no
# sources yet it is an interface library, so the tree configures at every
# stage of its growth.
function(quill_add_library name kind)
  set(sources ${ARGN})
  list(FILTER sources INCLUDE REGEX "\\.(cpp|qrc)$")
  if(sources)
    add_library(${name} ${kind} ${ARGN})
    set(${name}_KIND ${kind} PARENT_SCOPE)
  else()
    add_library(${name} INTERFACE)
  endif()
endfunction()

# Links dependencies with the scope that fits the library's kind.
function(quill_link name)
  get_target_property(type ${name} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${name} INTERFACE ${ARGN})
  else()
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()
