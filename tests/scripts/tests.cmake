add_test(NAME scripts_help_builds_nothing
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/help_builds_nothing.sh ${CMAKE_SOURCE_DIR})

# The test bundle (scripts/package-tests) from the programs built here, run by
# Wine's cmd outside the build tree: a run for each entry above of a Windows
# program, all passed. It runs each program again, alone, in a Wine prefix of
# its own, while the other entries go on beside it.
add_test(NAME test_bundle
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/bundle_runs_every_test.sh ${CMAKE_SOURCE_DIR}
            ${CMAKE_BINARY_DIR})
set_tests_properties(test_bundle PROPERTIES TIMEOUT 1800 COST 10000)
