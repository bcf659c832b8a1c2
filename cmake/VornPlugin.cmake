# vorn_add_plugin(<target> EXPORT <symbol> SOURCES <files>... [LIBRARIES <libs>...])
#
# A plug-in library as a host loads it: a module named <target> with no
# "lib" prefix, carrying the runtime and the counting allocation functions,
# that exports exactly one symbol, its entry <symbol>; everything else stays
# inside. The same function serves the installed runtime package, where the
# runtime's targets carry the Vorn:: namespace.
if(NOT DEFINED VORN_PLUGIN_RUNTIME_LIBRARIES)
    set(VORN_PLUGIN_RUNTIME_LIBRARIES vorn-plugin vorn-global-allocation)
endif()

function(vorn_add_plugin target)
    cmake_parse_arguments(PLUGIN "" "EXPORT" "SOURCES;LIBRARIES" ${ARGN})
    if(NOT PLUGIN_EXPORT)
        message(FATAL_ERROR "vorn_add_plugin(${target}): EXPORT <symbol> is required")
    endif()
    add_library(${target} MODULE ${PLUGIN_SOURCES})
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_link_libraries(${target} PRIVATE ${PLUGIN_LIBRARIES} ${VORN_PLUGIN_RUNTIME_LIBRARIES})
    target_compile_features(${target} PRIVATE cxx_std_20)
    if(COMMAND vorn_target_defaults)
        vorn_target_defaults(${target})
    endif()
    if(NOT WIN32)
        set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports)
        file(WRITE ${script} "{\n  global: ${PLUGIN_EXPORT};\n  local: *;\n};\n")
        target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined)
        set_target_properties(${target} PROPERTIES LINK_DEPENDS ${script})
    endif()
endfunction()
