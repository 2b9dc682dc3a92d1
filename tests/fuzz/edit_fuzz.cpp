// A file's text read into a list the way the reader does, then random edits:
// after each, the list must hold what a plain deque of strings given the same
// edits holds, and the file image built from it must be the deque's.
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

#include "tips/tips_text.h"

namespace {

using Model = std::deque<std::string>;

void ReleaseBlock(char* block) {
    delete[] block;
}

// The bytes up to the first zero, as the reader's text and the editor's end.
std::string UpToZero(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// What the reader makes of the bytes, in the plainest terms: the lines that
// CR LF ends in the text before the first zero, the first line dropped.
Model ModelRead(const std::string& bytes) {
    const std::string whole = UpToZero(bytes);
    std::string_view text = whole;
    Model lines;
    for (size_t end; (end = text.find("\r\n")) != std::string_view::npos;) {
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    if (!lines.empty()) lines.pop_front();
    return lines;
}

// The list side of the same read: the tips stay in a block the list takes over.
void ListRead(TipsListStore& list, const std::string& bytes) {
    char* block = new char[bytes.size() + 1];
    memcpy(block, bytes.c_str(), bytes.size() + 1);
    CutLines lines = CutTipsLines(block, bytes.size());
    if (lines.tips.empty()) {
        delete[] block;
        list.ReplaceAll({});
        return;
    }
    list.TakeBlock(block, bytes.size() + 1, ReleaseBlock, std::move(lines.tips));
}

void ExpectSame(const TipsListStore& list, const Model& model) {
    if (list.Count() != model.size()) abort();
    for (uint32_t i = 0; i < list.Count(); ++i)
        if (model[i] != list.At(i)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    TipsListStore list;
    Model model;
    const std::string first = input.ConsumeRandomLengthString();
    ListRead(list, first);
    model = ModelRead(first);
    ExpectSame(list, model);

    while (input.remaining_bytes() > 0) {
        const uint32_t count = list.Count();
        const uint32_t position = count ? input.ConsumeIntegralInRange<uint32_t>(0, count - 1) : 0;
        switch (input.ConsumeIntegralInRange(0, 5)) {
        case 0: {
            const std::string text = UpToZero(input.ConsumeRandomLengthString(64));
            list.Append(text);
            model.push_back(text);
            break;
        }
        case 1:
            if (count) {
                const std::string text = UpToZero(input.ConsumeRandomLengthString(64));
                list.ReplaceAt(position, text);
                model[position] = text;
            }
            break;
        case 2:
            if (count) {
                list.EraseAt(position);
                model.erase(model.begin() + position);
            }
            break;
        case 3: {
            // A selection of rows, ascending, as the list box gives them.
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
        case 4: {
            Model texts(input.ConsumeIntegralInRange<size_t>(0, 4));
            for (std::string& text : texts) text = UpToZero(input.ConsumeRandomLengthString(16));
            list.ReplaceAll(texts);
            model = texts;
            break;
        }
        case 5: {
            const std::string text = input.ConsumeRandomLengthString();
            ListRead(list, text);
            model = ModelRead(text);
            break;
        }
        }
        ExpectSame(list, model);
    }

    std::string image(kCounterLine);
    image.append(kLineEnd);
    for (const std::string& tip : model) image.append(tip).append(kLineEnd);
    if (BuildTipsImage(list) != image) abort();
    return 0;
}
