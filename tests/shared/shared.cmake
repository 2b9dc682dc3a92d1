# The test helpers that build without GoogleTest, shared by the tests, the
# benchmarks and the dialog screenshots.
add_library(test_shared STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dialog_hook.cpp
    ${CMAKE_CURRENT_LIST_DIR}/import_patch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/picture_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/temp_folder.cpp)
target_include_directories(test_shared PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(test_shared PUBLIC calvorinor_host_contract user32)
target_compile_options(test_shared PRIVATE ${CALVORINOR_WARNINGS})
