# Compiler settings for the project's own sources: warnings on and fatal.
function(morv_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
