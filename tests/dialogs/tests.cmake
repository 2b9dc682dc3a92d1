calvorinor_test(dialogs_tests
    dialogs/dialog_templates_test.cpp
    dialogs/manager_dialog_test.cpp
    dialogs/tip_editor_test.cpp)
