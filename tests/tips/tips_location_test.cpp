#include "tips/tips_location.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/shared/tips_contents.h"

namespace {

struct LocationCase {
    const char* name;
    const char* localPath;
    const char* hostDir;
    Tips candidates;
};

const std::string kDir252 = "C:\\" + std::string(248, 'd') + "\\";  // 252 characters
const std::string kDir253 = "C:\\" + std::string(249, 'd') + "\\";
const std::string kLocal261 = kDir253 + "abcd.ext";

// clang-format off
const LocationCase kLocationCases[] = {
    {"local first, then host", "C:\\Velmo\\abcd.ext", "C:\\Host\\",
     {"C:\\Velmo\\tips.rc", "C:\\Host\\tips.rc"}},
    // The last 8 characters go, so a 7-character name takes its separator along.
    {"name shorter than 8", "C:\\Velmo\\abc.ext", "H\\", {"C:\\Velmotips.rc", "H\\tips.rc"}},
    {"local path of exactly 8", "abcd.ext", "H\\", {"tips.rc", "H\\tips.rc"}},
    {"local path under 8", "abc", "H\\", {"tips.rc", "H\\tips.rc"}},
    {"empty local path", "", "H\\", {"tips.rc", "H\\tips.rc"}},
    {"no local path", nullptr, "H\\", {"H\\tips.rc"}},
    {"no paths at all", nullptr, nullptr, {}},
    {"259 characters fit", nullptr, kDir252.c_str(), {kDir252 + "tips.rc"}},
    {"260 characters left out, not cut", kLocal261.c_str(), kDir253.c_str(), {}},
};
// clang-format on

TEST(TipsLocation, CandidatesInOrderAndWhole) {
    for (const LocationCase& c : kLocationCases) {
        const TipsFileCandidates found = FindTipsFileCandidates(c.localPath, c.hostDir);
        EXPECT_EQ(c.candidates, Tips(found.paths, found.paths + found.count)) << c.name;
    }
}

}  // namespace
