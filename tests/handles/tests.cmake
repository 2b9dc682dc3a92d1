# Handle accounting: the shipped Calvorinor.plg with its import table rebound to
# counting wrappers, driven through many start-ups, menus and manager runs.
calvorinor_host_test(handles_tests
    plugin/plugin_host.cpp
    handles/handle_accounting_test.cpp)
