# Compiler settings for the project's own sources: warnings on and fatal.
function(morv_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Instrumentation as usage requirements. The sanitized and the fuzzing
# configurations instrument what links these targets; a copy that is loaded
# into an uninstrumented process (the JVM) or instrumented otherwise
# (ThreadSanitizer) simply does not link them. Both are empty unless their
# option is on.
add_library(morv_sanitize INTERFACE)
add_library(morv::sanitize ALIAS morv_sanitize)
if(MORV_SANITIZE)
  target_compile_options(morv_sanitize INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(morv_sanitize INTERFACE -fsanitize=address,undefined)
endif()

# Coverage for libFuzzer in everything the fuzz targets link; the fuzz
# targets themselves add -fsanitize=fuzzer.
add_library(morv_fuzz INTERFACE)
add_library(morv::fuzz ALIAS morv_fuzz)
if(MORV_FUZZ)
  target_compile_options(morv_fuzz INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(morv_fuzz INTERFACE -fsanitize=address,undefined)
endif()

# The instrumentation of the configuration being built, for one target.
function(morv_instrument target)
  target_link_libraries(${target} PRIVATE morv::sanitize morv::fuzz)
endfunction()
