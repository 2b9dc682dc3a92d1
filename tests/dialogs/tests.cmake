calvorinor_test(dialogs_tests
    dialogs/dialog_templates_test.cpp
    dialogs/manager_dialog_test.cpp
    dialogs/tip_editor_test.cpp)

# The manager's extent again, in a Japanese locale: Wine takes the ANSI code
# page (932 there) from it.
add_test(NAME dialogs_tests_cp932
         COMMAND dialogs_tests --gtest_filter=ManagerDialog.*CodePage932)
set_tests_properties(dialogs_tests_cp932 PROPERTIES
    ENVIRONMENT LC_ALL=ja_JP.UTF-8 SKIP_RETURN_CODE ${ALL_TESTS_SKIPPED} TIMEOUT 300)
