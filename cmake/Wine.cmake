# Windows programs run by the tests under Wine, in the build's private 32-bit
# prefix (scripts/wine/env.sh knows where it is), and add_wine_test(). Every
# Wine test runs alone (one copy of the plug-in per Wine session; the tests
# share the prefix's vendor library) and after the prefix exists.
set(VRC_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine/run.sh ${CMAKE_BINARY_DIR})

# Makes the build's prefix if it is missing; the Wine tests need it.
add_test(NAME wine_prefix COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine/prefix.sh ${CMAKE_BINARY_DIR})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine TIMEOUT 900)

# add_wine_test(NAME COMMAND program [args...] [ENVIRONMENT var=value...]
#               [FIXTURES fixture...] [CHECK checker [args...]] [TIMEOUT seconds])
# Runs program in the prefix from the build directory. With CHECK, the
# program's output is piped into checker, and both must succeed.
function(add_wine_test name)
    cmake_parse_arguments(PARSE_ARGV 1 W "" "TIMEOUT" "COMMAND;ENVIRONMENT;FIXTURES;CHECK")
    set(command ${VRC_WINE_RUN} ${W_COMMAND})
    if(W_CHECK)
        list(JOIN W_CHECK "\" \"" checker)
        set(command bash -o pipefail -c "\"$@\" | \"${checker}\"" ${name} ${command})
    endif()
    if(NOT W_TIMEOUT)
        set(W_TIMEOUT 600)
    endif()
    add_test(NAME ${name} COMMAND ${command} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES LABELS wine RUN_SERIAL TRUE TIMEOUT ${W_TIMEOUT}
        FIXTURES_REQUIRED "wine_prefix;${W_FIXTURES}" ENVIRONMENT "${W_ENVIRONMENT}")
endfunction()
