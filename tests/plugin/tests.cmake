calvorinor_test(host_records_tests plugin/host_records_test.cpp)
# End to end: the built Calvorinor.plg and STARTER.DLL loaded from the build
# folder, as the host loads them, and the host simulator run headless.
calvorinor_host_test(plugin_end_to_end_tests
    plugin/plugin_host.cpp
    plugin/built_module_test.cpp
    plugin/lifecycle_test.cpp
    plugin/end_to_end_test.cpp)
add_dependencies(plugin_end_to_end_tests velmo_sim)
