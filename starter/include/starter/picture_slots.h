// Where the library keeps its own state inside a caller's PictureRecord: the
// words the caller leaves to us. The tag tells our words from a caller's zeros
// or leftovers, so nothing is freed that this library did not make.
#pragma once

#include <windows.h>

#include <cstdint>

#include "records/starter_api.h"

namespace picture_slots {

constexpr uint32_t kTag = 0x50525453;  // "STRP"

// The picture file named by the configuration, a heap copy of a full path.
inline char* Path(const PictureRecord& p) {
    return p.library44[0] == kTag ? reinterpret_cast<char*>(p.library20[0]) : nullptr;
}
// The form GetCFGPic asked for: 1, 2 or 4.
inline int32_t Form(const PictureRecord& p) {
    return p.library44[0] == kTag ? static_cast<int32_t>(p.library20[1]) : 0;
}
// What LoadImageEx made, kept apart from kind/handleA/handleB so that a caller
// changing those cannot make FreePicture release something else.
inline int32_t MadeKind(const PictureRecord& p) {
    return p.library44[0] == kTag ? static_cast<int32_t>(p.library20[2]) : 0;
}
inline uint32_t MadeA(const PictureRecord& p) { return p.library20[3]; }
inline uint32_t MadeB(const PictureRecord& p) { return p.library20[4]; }

inline void SetMade(PictureRecord& p, int32_t kind, uint32_t a, uint32_t b) {
    p.library20[2] = static_cast<uint32_t>(kind);
    p.library20[3] = a;
    p.library20[4] = b;
}

// Takes ownership of a heap copy made with HeapAlloc(GetProcessHeap()).
inline void Describe(PictureRecord& p, char* path, int32_t form) {
    p.library20[0] = reinterpret_cast<uint32_t>(path);
    p.library20[1] = static_cast<uint32_t>(form);
    p.library44[0] = kTag;
}

inline void Forget(PictureRecord& p) {
    for (uint32_t& word : p.library20) word = 0;
    for (uint32_t& word : p.library44) word = 0;
}

}  // namespace picture_slots
