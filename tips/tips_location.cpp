#include "tips/tips_location.h"

#include <cstring>

namespace {

constexpr char kTipsFileName[] = "tips.rc";

// localPath names a file whose 8-character name gives way to "tips.rc"; a
// shorter path leaves nothing of itself.
constexpr size_t kLocalNameLength = 8;

void AddCandidate(const char* prefix, size_t prefixLength, TipsFileCandidates& found) {
    const size_t nameLength = sizeof kTipsFileName - 1;
    if (prefixLength + nameLength > kTipsPathSize - 1) return;
    char* path = found.paths[found.count++];
    std::memcpy(path, prefix, prefixLength);
    std::memcpy(path + prefixLength, kTipsFileName, nameLength + 1);
}

}  // namespace

TipsFileCandidates FindTipsFileCandidates(const char* localPath, const char* hostDir) {
    TipsFileCandidates found{};
    if (localPath) {
        const size_t length = std::strlen(localPath);
        AddCandidate(localPath, length > kLocalNameLength ? length - kLocalNameLength : 0, found);
    }
    if (hostDir) AddCandidate(hostDir, std::strlen(hostDir), found);
    return found;
}
