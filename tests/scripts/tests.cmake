add_test(NAME scripts_help_builds_nothing
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/help_builds_nothing.sh ${CMAKE_SOURCE_DIR})
