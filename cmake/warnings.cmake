# Project-wide warning flags, linked PRIVATE into every target of the project.
add_library(tracksmith_warnings INTERFACE)
target_compile_options(tracksmith_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(TRACKSMITH_WERROR)
  target_compile_options(tracksmith_warnings INTERFACE -Werror)
endif()
