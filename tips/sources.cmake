# The tips code that needs no Windows headers, relative to the source root: the
# module builds it with the cross compiler, tests/native with clang and the
# sanitizers.
set(TIPS_PURE_SOURCES tips/tips_list.cpp tips/tips_text.cpp tips/tips_location.cpp
    tips/tips_stamp.cpp)
