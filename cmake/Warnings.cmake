# Strict warnings for the project's own targets.
# -Wno-restrict: GCC 12 reports false positives inside std::basic_string (GCC bug 105329).
function(edbx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wnon-virtual-dtor
                         -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual -Wpedantic
                         -Wconversion -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough
                         $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()
