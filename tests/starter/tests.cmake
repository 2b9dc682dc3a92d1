calvorinor_test(starter_tests
    starter/config_reader_test.cpp
    starter/picture_loader_test.cpp
    starter/file_and_window_test.cpp)
# The simulator's sample folder, beside the tests as in the test bundle: a
# path into the source tree would hold on no other computer.
foreach(file velmo.ini calvorin.bmp tips.rc)
    configure_file(${CMAKE_SOURCE_DIR}/host/sample/${file} ${CMAKE_BINARY_DIR}/sample/${file} COPYONLY)
endforeach()
