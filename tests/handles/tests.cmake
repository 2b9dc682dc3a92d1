# Handle accounting: the shipped Calvorinor.plg with its import table rebound to
# counting wrappers, driven through many start-ups, menus and manager runs.
calvorinor_host_test(handles_tests
    plugin/plugin_fixture.cpp
    handles/handle_accounting_test.cpp)

# The fault sweep: each user action with the module's calls of each kind
# failing from the Nth, once and from then on, the handles counted as above.
calvorinor_host_test(fault_sweep_tests
    plugin/plugin_fixture.cpp
    handles/fault_sweep_test.cpp)
# The writers' mutex is named as the module names it.
target_link_libraries(fault_sweep_tests PRIVATE calvorinor_records)
set_tests_properties(fault_sweep_tests PROPERTIES TIMEOUT 600)
