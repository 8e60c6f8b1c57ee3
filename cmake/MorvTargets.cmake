# Compiler settings for the project's own sources: warnings on and fatal.
function(morv_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Adds every subdirectory of the current source directory that has a
# CMakeLists.txt, so a new test or benchmark area needs no edit here.
macro(morv_add_subdirectories)
  file(GLOB morv_subdirs_ LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(morv_subdir_ ${morv_subdirs_})
    if(IS_DIRECTORY ${morv_subdir_} AND EXISTS ${morv_subdir_}/CMakeLists.txt)
      add_subdirectory(${morv_subdir_})
    endif()
  endforeach()
endmacro()
