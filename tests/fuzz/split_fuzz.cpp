// Any bytes as the text of tips.rc: the split must not fault, and the tips it
// yields never hold a line end or a zero byte, and lose no byte of the text.
// The tips part's hash taken from the cut bytes is the hash of the bytes as
// they were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "tips/tips_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader's text stops at the first zero byte; the split must stop there too.
    const char* bytes = reinterpret_cast<const char*>(data);
    const void* zero = memchr(bytes, 0, size);
    const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes) : size;
    const std::string_view text(bytes, length);

    const TipTexts lines = SplitTipsLines(std::string_view(bytes, size));

    std::string joined;
    for (const std::string& line : lines) {
        if (line.find(kLineEnd) != std::string::npos) abort();
        if (line.find('\0') != std::string::npos) abort();
        joined.append(line).append(kLineEnd);
    }
    // The lines put back together are the text up to its last CR LF, and what
    // follows it holds no CR LF.
    if (text.substr(0, joined.size()) != joined) abort();
    if (text.substr(joined.size()).find(kLineEnd) != std::string_view::npos) abort();

    std::string cut(bytes, size);
    const CutLines cutLines = CutTipsLines(cut.data(), cut.size());
    const std::string_view tipsPart = TipsPartOf(std::string_view(bytes, size));
    if (CutTipsPartLength(size, cutLines) != tipsPart.size()) abort();
    if (HashCutTipsPart(cut.data(), size, cutLines) != HashTipsText(tipsPart)) abort();
    return 0;
}
