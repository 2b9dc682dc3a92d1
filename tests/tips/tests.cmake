calvorinor_test(tips_tests
    tips/tips_list_test.cpp
    tips/tips_text_test.cpp
    tips/tips_location_test.cpp
    tips/brief_holds_test.cpp)
