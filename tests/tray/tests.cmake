calvorinor_test(tray_tests
    tray/notify_window_test.cpp
    tray/edit_tips_test.cpp
    tray/tray_icon_test.cpp
    tray/plugin_icon_test.cpp)
# The foreground window and the cursor belong to the whole desktop: a test
# program running beside these would move them under the tests' feet.
set_tests_properties(tray_tests PROPERTIES RUN_SERIAL TRUE)
