#include "tests/support/message_box_recorder.h"

#include <gtest/gtest.h>

#include "tests/shared/import_wrapper.h"

std::vector<RecordedBox> g_boxes;

namespace {

struct RecordBox {
    static int Call(decltype(&MessageBoxA) next, HWND owner, LPCSTR text, LPCSTR caption,
                    UINT style) {
        g_boxes.push_back({owner, text ? text : "", caption ? caption : "", style, 0});
        const size_t index = g_boxes.size() - 1;
        const int result = next(owner, text, caption, style);
        g_boxes[index].result = result;
        return result;
    }
};
using Recording = ImportWrapper<MessageBoxA, RecordBox>;

}  // namespace

void ExpectOneBox(HWND owner, const std::string& text, const std::string& caption, UINT style) {
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(owner, g_boxes[0].owner);
    EXPECT_EQ(text, g_boxes[0].text);
    EXPECT_EQ(caption, g_boxes[0].caption);
    EXPECT_EQ(style, g_boxes[0].style);
}

void RecordMessageBoxes(HMODULE module) {
    const bool bound = Recording::BindOver(module, "user32.dll", "MessageBoxA") ||
                       BoundImport(module, "user32.dll", "MessageBoxA") ==
                           reinterpret_cast<void*>(&Recording::Call);
    ASSERT_TRUE(bound) << "the module does not import MessageBoxA";
}
