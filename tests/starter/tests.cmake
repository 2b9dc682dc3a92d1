calvorinor_test(starter_tests
    starter/starter_fixture.cpp
    starter/config_reader_test.cpp
    starter/picture_loader_test.cpp
    starter/file_and_window_test.cpp)
# Wine reaches the source tree through its Z: drive.
target_compile_definitions(starter_tests PRIVATE SAMPLE_FOLDER="${CMAKE_SOURCE_DIR}/host/sample/")
