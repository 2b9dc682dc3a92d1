// A file's text read into a list the way the reader does, then random edits
// and further reads: after each step the list must hold what a plain deque of
// strings given the same steps holds, and the file image must be the deque's.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/shared/tips_text_helpers.h"
#include "tips/tips_text.h"

namespace {

using Model = std::deque<std::string>;

void ReleaseBlock(char* block) {
    delete[] block;
}

// The reader's tips in the plainest terms: the lines that CR LF ends in the
// text before the first zero byte, the first line dropped.
Model ModelRead(const std::string& bytes) {
    const std::string whole = bytes.substr(0, bytes.find('\0'));
    std::string_view text = whole;
    Model lines;
    for (size_t end; (end = text.find("\r\n")) != std::string_view::npos;) {
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    if (!lines.empty()) lines.pop_front();
    return lines;
}

// The same read into the list: the tips stay in a block the list takes over.
void ListRead(TipsListStore& list, const std::string& bytes) {
    char* block = new char[bytes.size() + 1];
    memcpy(block, bytes.c_str(), bytes.size() + 1);
    CutLines lines = CutTipsLines(block, bytes.size());
    if (lines.tips.empty()) {
        delete[] block;
        list.ReplaceAll({});
    } else {
        list.TakeBlock(block, bytes.size() + 1, ReleaseBlock, std::move(lines.tips));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    // A text as the tip editor gives it: it ends at its first zero byte.
    auto editText = [&input](size_t maxLength) {
        const std::string text = input.ConsumeRandomLengthString(maxLength);
        return text.substr(0, text.find('\0'));
    };
    TipsListStore list;
    Model model;
    for (bool first = true; first || input.remaining_bytes() > 0; first = false) {
        const uint32_t count = list.Count();
        const uint32_t position = count ? input.ConsumeIntegralInRange<uint32_t>(0, count - 1) : 0;
        switch (first ? 0 : input.ConsumeIntegralInRange(0, 5)) {
        case 0: {
            const std::string bytes = input.ConsumeRandomLengthString();
            ListRead(list, bytes);
            model = ModelRead(bytes);
            break;
        }
        case 1:
            model.push_back(editText(64));
            list.Append(model.back());
            break;
        case 2:
            if (!count) break;
            model[position] = editText(64);
            list.ReplaceAt(position, model[position]);
            break;
        case 3:
            if (!count) break;
            list.EraseAt(position);
            model.erase(model.begin() + position);
            break;
        case 4: {  // a selection of rows, ascending, as the list box gives them
            std::vector<int32_t> rows;
            Model kept;
            for (uint32_t i = 0; i < count; ++i) {
                if (input.ConsumeBool())
                    rows.push_back(static_cast<int32_t>(i));
                else
                    kept.push_back(model[i]);
            }
            list.EraseSorted(rows);
            model.swap(kept);
            break;
        }
        case 5:
            model.resize(input.ConsumeIntegralInRange<size_t>(0, 4));
            for (std::string& text : model) text = editText(16);
            list.ReplaceAll(model);
            break;
        }
        if (list.Count() != model.size()) abort();
        for (uint32_t i = 0; i < list.Count(); ++i)
            if (model[i] != list.At(i)) abort();
    }

    std::string image(kCounterLine);
    image.append(kLineEnd);
    for (const std::string& tip : model) image.append(tip).append(kLineEnd);
    const TipsImage built = BuildTipsImage(list);
    if (built.View() != image) abort();
    // Built a piece at a time in a buffer of any size: the same bytes and hash.
    std::vector<char> buffer(kMinImagePiece + input.ConsumeIntegralInRange<size_t>(0, 256));
    std::string pieces;
    bool lastSeen = false;
    const PutTipsImageResult put =
        PutTipsImage(list, buffer.data(), buffer.size(), [&](std::string_view piece, bool last) {
            if (lastSeen) abort();
            lastSeen = last;
            pieces.append(piece);
            return true;
        });
    if (!put.put || !lastSeen || pieces != image || put.size != image.size() ||
        put.tipsHash != built.tipsHash)
        abort();
    return 0;
}
