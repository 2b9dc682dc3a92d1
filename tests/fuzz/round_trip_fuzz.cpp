// Whatever tips a file's text gives, writing them and reading the image back
// gives the same tips in the same order, and the image's tips part the hash
// that was taken while it was built.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "tests/shared/tips_text_helpers.h"
#include "tips/tips_stamp.h"
#include "tips/tips_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* zero = memchr(bytes, 0, size);
    const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;

    TipTexts tips = SplitTipsLines(std::string_view(bytes, length));
    if (!tips.empty()) tips.erase(tips.begin());  // the counter line is no tip

    TipsListStore list;
    list.ReplaceAll(TipTexts(tips));
    const TipsImage built = BuildTipsImage(list);
    const std::string image(built.View());
    // The hash taken while building is the one of the finished text.
    if (built.tipsHash != HashTipsText(TipsPartOf(image))) abort();

    size_t expectedSize = kCounterLine.size() + kLineEnd.size();
    for (const std::string& tip : tips) expectedSize += tip.size() + kLineEnd.size();
    if (image.size() != expectedSize) abort();

    TipTexts again = SplitTipsLines(image);
    if (again.empty() || again.front() != kCounterLine) abort();
    again.erase(again.begin());
    if (again != tips) abort();
    return 0;
}
