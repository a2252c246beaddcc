# The compiler and linker flags of every target, and GoogleTest, in one
# place for the cross build and the native tests.
include_guard()

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# The project's own code: a warning fails the build.
set(VRC_WARNINGS -Wall -Wextra -Werror)
# A function others may call is declared in a header; every other one is file-local.
set(VRC_DECLARED -Wmissing-declarations)
# Product code: no exceptions, no RTTI.
set(VRC_LEAN -fno-exceptions -fno-rtti)
# The plug-in and the simulator: small, with unused code left out at link time.
set(VRC_CXX_FLAGS ${VRC_LEAN} -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections)
# Everything a Windows program needs from the runtime is linked in.
set(VRC_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
# The Windows API level the plug-in and the tests are built against.
set(VRC_WINDOWS_DEFINITIONS WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 _WIN32_IE=0x0500)

# Test and benchmark code warns but does not fail on a warning; test code is
# built for a quick build, not for speed: -O1 after the build type's -O3.
set(VRC_TEST_WARNINGS -Wall -Wextra)
set(VRC_QUICK -O1)

# GoogleTest built from Debian's source package, quickly; on Windows with
# the runtime linked in.
function(vrc_add_googletest)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(gt gtest gtest_main)
        if(WIN32)
            target_link_options(${gt} INTERFACE ${VRC_STATIC_RUNTIME})
        endif()
        target_compile_options(${gt} PRIVATE ${VRC_QUICK})
    endforeach()
endfunction()

# A test program: its C++ warns and is built quickly; on Windows the runtime
# is linked in.
function(vrc_test_program target)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${VRC_TEST_WARNINGS};${VRC_QUICK}>)
    if(WIN32)
        target_link_options(${target} PRIVATE ${VRC_STATIC_RUNTIME})
    endif()
endfunction()
