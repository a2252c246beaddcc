# The portable core: the key session, the button tables and the factory sets,
# plain C++17 without <windows.h>. The plug-in's cross build and the native
# tests both make their copy of it here. Extra compile options follow the
# target's name.
include(${CMAKE_CURRENT_LIST_DIR}/Flags.cmake)

function(vrc_add_portable_core name)
    get_filename_component(root ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
    add_library(${name} STATIC
        ${root}/engine/KeySession.cpp
        ${root}/mapping/ButtonTables.cpp
        ${root}/mapping/DefaultBindings.cpp
    )
    target_include_directories(${name} PUBLIC ${root})
    target_compile_options(${name} PRIVATE ${VRC_WARNINGS} ${VRC_LEAN} ${ARGN})
endfunction()

# The workbench's timeline parser, plain C++ too: the workbench's and the
# native tests' copy.
function(vrc_add_timeline_parser name)
    get_filename_component(root ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
    add_library(${name} STATIC ${root}/tools/workbench/TimelineScript.cpp)
    target_include_directories(${name} PUBLIC ${root})
    target_compile_options(${name} PRIVATE ${VRC_WARNINGS} ${ARGN})
endfunction()
