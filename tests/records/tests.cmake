calvorinor_test(records_tests
    records/writer_mutex_test.cpp)
