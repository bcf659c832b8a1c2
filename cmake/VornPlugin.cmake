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
    vorn_module_exports(${target} EXPORTS ${PLUGIN_EXPORT})
endfunction()

# vorn_module_exports(<target> EXPORTS <symbols>... [MAP <version script>])
#
# Makes the module <target> export exactly <symbols>. ELF: through a version
# script, the one given or one written from the names. Windows: a DLL exports
# what its sources mark __declspec(dllexport), and nothing is exported
# automatically should a mark be missing. The names are kept on the target,
# and the Windows builds check each DLL's export table against them
# (vorn_check_module_exports).
function(vorn_module_exports target)
    cmake_parse_arguments(MODULE "" "MAP" "EXPORTS" ${ARGN})
    set_property(TARGET ${target} PROPERTY VORN_EXPORTS ${MODULE_EXPORTS})
    set_property(GLOBAL APPEND PROPERTY VORN_MODULES ${target})
    if(WIN32)
        if(MINGW)
            target_link_options(${target} PRIVATE -Wl,--exclude-all-symbols)
        endif()
        return()
    endif()
    set(script ${MODULE_MAP})
    if(NOT script)
        set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports)
        list(JOIN MODULE_EXPORTS "; " names)
        file(WRITE ${script} "{\n  global: ${names};\n  local: *;\n};\n")
    endif()
    target_link_options(${target} PRIVATE -Wl,--version-script=${script})
    # Clang's sanitizer runtimes live in the program that loads the module,
    # so its calls into them stay open until then.
    if(NOT (VORN_SANITIZERS AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
        target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

# Once every module is declared: the target vorn-modules builds them all, and
# on Windows a test per DLL reads its export table with the toolchain's
# objdump (no Windows needed, so it runs for 32-bit DLLs too): exactly the
# names given, undecorated, none by ordinal alone, and no compiler runtime
# DLL imported.
function(vorn_check_module_exports)
    get_property(modules GLOBAL PROPERTY VORN_MODULES)
    add_custom_target(vorn-modules)
    if(modules)
        add_dependencies(vorn-modules ${modules})
    endif()
    if(NOT WIN32 OR NOT VORN_BUILD_TESTS)
        return()
    endif()
    foreach(module ${modules})
        get_property(names TARGET ${module} PROPERTY VORN_EXPORTS)
        list(JOIN names "," expected)
        add_test(NAME DllExports.${module}
                 COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${VORN_OBJDUMP} -DLIBRARY=$<TARGET_FILE:${module}>
                         -DEXPECTED=${expected} -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check-dll-exports.cmake)
        set_tests_properties(DllExports.${module} PROPERTIES LABELS exports)
    endforeach()
endfunction()
