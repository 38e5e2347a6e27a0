# Warnings for the project's own targets; third-party headers come in as
# system includes and stay quiet.
function(quillon_set_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-align -Wnull-dereference
    -Wimplicit-fallthrough)
endfunction()
