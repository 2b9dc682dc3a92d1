calvorinor_test(records_tests
    records/host_records_test.cpp
    records/tips_file_test.cpp
    records/tips_file_processes_test.cpp
    records/tips_questions_test.cpp
    records/writer_mutex_test.cpp)
# Its tables name their fields.
set_property(TARGET records_tests PROPERTY CXX_STANDARD 20)
