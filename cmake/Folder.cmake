# One static library per product folder, linked only to the folders it may use:
#
#   app       -> install, net, sys, controls, framework
#   uninstall -> install, sys, framework
#   install   -> net, sys, framework
#   net       -> sys, framework
#   sys       -> framework
#   controls  -> framework
#   framework uses nothing of ours
#
# Each library offers its own folder as its only include directory, and passes on the
# include directories of what it may use; so code that includes a header of a folder its
# own may not use fails to build.
#
# melvora_layer(<folder> [USES <folders>...] [CORE <files>...] [NATIVE_ONLY <files>...]
#               [PROGRAM_ONLY <files>...])
#   CORE          Windows-free files: they also build natively, for unit tests and fuzzers
#   NATIVE_ONLY   the native build's stand-ins for a system call that CORE files need,
#                 which Windows builds take from a file of their own
#   PROGRAM_ONLY  files that go into the programs rather than the library (an application
#                 object, WinMain); listed in MELVORA_PROGRAM_SOURCES_<folder>
# Windows builds take every other .cpp of the folder too.
function(melvora_layer dir)
    cmake_parse_arguments(ARG "" "" "USES;CORE;NATIVE_ONLY;PROGRAM_ONLY" ${ARGN})
    set(target melvora_${dir})
    set(core)
    foreach(f ${ARG_CORE})
        list(APPEND core ${CMAKE_SOURCE_DIR}/${dir}/${f})
    endforeach()
    set(native)
    foreach(f ${ARG_NATIVE_ONLY})
        list(APPEND native ${CMAKE_SOURCE_DIR}/${dir}/${f})
    endforeach()
    set(app)
    foreach(f ${ARG_PROGRAM_ONLY})
        list(APPEND app ${CMAKE_SOURCE_DIR}/${dir}/${f})
    endforeach()
    if(WIN32)
        file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
        if(app OR native)
            list(REMOVE_ITEM sources ${app} ${native})
        endif()
    else()
        set(sources ${core} ${native})
    endif()

    set(uses)
    foreach(u ${ARG_USES})
        list(APPEND uses melvora_${u})
    endforeach()
    if(sources)
        add_library(${target} STATIC ${sources})
        target_compile_options(${target} PRIVATE ${MELVORA_PRODUCT_OPTIONS})
        target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/${dir})
        target_link_libraries(${target} PUBLIC ${uses})
    else()
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR}/${dir})
        target_link_libraries(${target} INTERFACE ${uses})
    endif()
    set(MELVORA_PROGRAM_SOURCES_${dir} ${app} PARENT_SCOPE)
endfunction()
