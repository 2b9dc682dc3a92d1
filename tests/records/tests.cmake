calvorinor_test(records_tests
    records/tips_questions_test.cpp
    records/writer_mutex_test.cpp)
