# Opens one dialog for scripts/screenshot-dialogs to photograph.
add_executable(show_dialogs ${CMAKE_CURRENT_LIST_DIR}/show_dialogs.cpp
    $<TARGET_OBJECTS:calvorinor_resources>)
target_link_libraries(show_dialogs PRIVATE calvorinor_core test_shared)
target_include_directories(show_dialogs PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(show_dialogs PRIVATE ${CALVORINOR_WARNINGS})
