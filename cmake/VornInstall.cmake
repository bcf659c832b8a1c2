# What `cmake --install` puts into a prefix: the runtime a plug-in is built
# on (its public headers, the static libraries of the layers, the counting
# allocation functions), the programs vorn-host and vorn-codec, and the CMake
# package VornPluginRuntime. Public headers are the ones a plug-in reaches
# from the runtime's entry headers; those only the runtime's own sources
# include stay out.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VORN_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/vorn)
set(VORN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VornPluginRuntime)

# The headers a plug-in author includes; everything they include in turn is
# public too.
set(VORN_PUBLIC_ENTRY_HEADERS
    plugin/plugin_loader.h plugin/plugin_base.h logging/logger.h dispatch/expose_function.h
    formats/json_reader.h formats/json_writer.h formats/yaml_reader.h formats/msgpack_reader.h
    binding/flat_records.h dispatch/host_call_records.h dispatch/api_table_records.h plugin/host_records.h)

# The closure of the entry headers under the project's own includes.
function(vorn_public_headers out)
    set(pending ${VORN_PUBLIC_ENTRY_HEADERS})
    set(found)
    while(pending)
        list(POP_FRONT pending header)
        if(header IN_LIST found)
            continue()
        endif()
        list(APPEND found ${header})
        # A header that starts including another changes this list: configure again.
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${header})
        file(STRINGS ${PROJECT_SOURCE_DIR}/src/${header} includes REGEX "^#include \"[a-z-]+/[a-z_]+\\.h\"")
        foreach(line ${includes})
            string(REGEX REPLACE "^#include \"([a-z-]+/[a-z_]+\\.h)\".*" "\\1" included "${line}")
            list(APPEND pending ${included})
        endforeach()
    endwhile()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

vorn_public_headers(public_headers)
foreach(header ${public_headers})
    get_filename_component(folder ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/src/${header} DESTINATION ${VORN_INSTALL_INCLUDEDIR}/${folder})
endforeach()

set(runtime_layers vorn-platform vorn-support vorn-logging vorn-binding vorn-formats vorn-dispatch vorn-plugin)
foreach(layer ${runtime_layers})
    target_include_directories(${layer} INTERFACE $<INSTALL_INTERFACE:${VORN_INSTALL_INCLUDEDIR}>)
endforeach()
install(TARGETS ${runtime_layers} vorn-global-allocation
    EXPORT VornPluginRuntimeTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    OBJECTS DESTINATION ${CMAKE_INSTALL_LIBDIR}/vorn)
if(VORN_BUILD_TOOLS)
    install(TARGETS vorn-host vorn-codec EXPORT VornPluginRuntimeTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(EXPORT VornPluginRuntimeTargets NAMESPACE Vorn:: DESTINATION ${VORN_INSTALL_CMAKEDIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VornPluginRuntimeConfig.cmake.in
    ${PROJECT_BINARY_DIR}/VornPluginRuntimeConfig.cmake INSTALL_DESTINATION ${VORN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VornPluginRuntimeConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VornPluginRuntimeConfig.cmake
    ${PROJECT_BINARY_DIR}/VornPluginRuntimeConfigVersion.cmake
    ${PROJECT_SOURCE_DIR}/cmake/VornPlugin.cmake
    DESTINATION ${VORN_INSTALL_CMAKEDIR})
