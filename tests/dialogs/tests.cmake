calvorinor_test(dialogs_tests
    dialogs/dialog_templates_test.cpp
    dialogs/manager_dialog_test.cpp
    dialogs/tip_editor_test.cpp)

# Not a test: opens one dialog for scripts/screenshot-dialogs to photograph.
add_executable(show_dialogs dialogs/show_dialogs.cpp $<TARGET_OBJECTS:calvorinor_resources>)
target_link_libraries(show_dialogs PRIVATE calvorinor_core)
target_include_directories(show_dialogs PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(show_dialogs PRIVATE ${CALVORINOR_WARNINGS})
