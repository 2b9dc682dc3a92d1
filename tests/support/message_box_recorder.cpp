#include "tests/support/message_box_recorder.h"

#include <gtest/gtest.h>

#include "tests/shared/import_patch.h"

std::vector<RecordedBox> g_boxes;

namespace {

using MessageBoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
MessageBoxFn g_realMessageBox;

int WINAPI RecordingMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    g_boxes.push_back({owner, text ? text : "", caption ? caption : "", style, 0});
    const size_t index = g_boxes.size() - 1;
    const int result = g_realMessageBox(owner, text, caption, style);
    g_boxes[index].result = result;
    return result;
}

}  // namespace

void ExpectOneBox(HWND owner, const std::string& text, const std::string& caption, UINT style) {
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(owner, g_boxes[0].owner);
    EXPECT_EQ(text, g_boxes[0].text);
    EXPECT_EQ(caption, g_boxes[0].caption);
    EXPECT_EQ(style, g_boxes[0].style);
}

void RecordMessageBoxes(HMODULE module) {
    void* previous = PatchImport(module, "user32.dll", "MessageBoxA",
                                 reinterpret_cast<void*>(&RecordingMessageBox));
    if (previous) g_realMessageBox = reinterpret_cast<MessageBoxFn>(previous);
    ASSERT_TRUE(g_realMessageBox) << "the module does not import MessageBoxA";
}
