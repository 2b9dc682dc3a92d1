# End to end: the shipped Calvorinor.plg and STARTER.DLL loaded from disk, as
# the host loads them, and the host simulator run headless.
calvorinor_host_test(plugin_end_to_end_tests
    plugin/plugin_fixture.cpp
    plugin/built_module_test.cpp
    plugin/lifecycle_test.cpp
    plugin/end_to_end_test.cpp)
add_dependencies(plugin_end_to_end_tests velmo_sim)
# The version resource is read back through the platform's own version API.
target_link_libraries(plugin_end_to_end_tests PRIVATE version)
target_compile_definitions(plugin_end_to_end_tests PRIVATE
    CALVORINOR_FILE_VERSION="${CALVORINOR_FILE_VERSION}")
# The shipped module's imports are compared with this list, beside the tests.
configure_file(plugin/approved_imports.txt ${CMAKE_BINARY_DIR}/approved_imports.txt COPYONLY)

# Every approved import must be one that Windows XP SP3 exports; the export
# lists live beside the clone and the check is skipped where they are absent.
add_test(NAME approved_imports_on_xp
    COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/plugin/approved_imports_on_xp.py
        ${CMAKE_CURRENT_SOURCE_DIR}/plugin/approved_imports.txt
        ${CMAKE_SOURCE_DIR}/../shared/xp-exports)
set_tests_properties(approved_imports_on_xp PROPERTIES SKIP_RETURN_CODE 77)

# Two clean builds of the package, from source trees at different paths, give
# the same module and the same zip, and that module is the one the tests load.
add_test(NAME package_reproducible
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-reproducible ${CMAKE_BINARY_DIR}/release/Calvorinor.plg)
set_tests_properties(package_reproducible PROPERTIES TIMEOUT 900)

# The host stopping and unloading the plug-in from inside its modal loops: one
# process a row, as a module stopped inside a loop stays loaded for the
# process's life.
set(STOP_CASES UnloadWithNothingOpen UnloadUnderMenu UnloadUnderManager UnloadUnderEditor
    UnloadUnderEditConfirmation UnloadUnderOtherWriterQuestion StopUnderManager
    StopUnderEditor StopAndStartAgainUnderEditor StopAndStartAgainUnderEditConfirmation)
calvorinor_host_test(plugin_stop_tests plugin/plugin_fixture.cpp plugin/host_stop_test.cpp)
list(LENGTH STOP_CASES stop_case_count)
target_compile_definitions(plugin_stop_tests PRIVATE CALVORINOR_STOP_CASES=${stop_case_count})
set_tests_properties(plugin_stop_tests PROPERTIES DISABLED TRUE)
foreach(row ${STOP_CASES})
    add_test(NAME plugin_stop_${row}
             COMMAND plugin_stop_tests --gtest_filter=Rows/HostStopsThePlugIn.*/${row})
    set_tests_properties(plugin_stop_${row} PROPERTIES SKIP_RETURN_CODE ${ALL_TESTS_SKIPPED})
endforeach()
