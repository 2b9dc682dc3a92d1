#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "records/starter_api.h"
#include "tests/shared/picture_files.h"
#include "tests/starter/starter_fixture.h"
#include "tests/shared/temp_folder.h"

namespace {

class Configuration : public testing::Test, protected StarterFiles {
protected:
    PictureRecord picture{};

    void TearDown() override { FreePicture(&picture); }
};

// Each row's configuration is read with another folder current, one that
// neither the profile functions nor LoadImage would look in on their own.
struct FoundCase {
    const char* name;
    const char* config;  // '*' stands for the full path of a picture in a folder of its own
    bool openedByName;   // from its own folder, then read from the other
};

// clang-format off
const FoundCase kFoundCases[] = {
    {"a relative picture counts from the configuration's folder",
     "[Other]\r\nIcon=elsewhere.bmp\r\n[Calvorin]\r\nIcon=pictures\\tray.bmp\r\n", false},
    {"an absolute picture, the configuration opened by a relative path",
     "[Calvorin]\r\nIcon=*\r\n", true},
    {"section and key match whatever their case", "[CALVORIN]\r\nicon=tray.bmp\r\n", false},
    {"a plain setting", "[Calvorin]\r\nIcon=tray.bmp\r\n", false},
};
// clang-format on

TEST_F(Configuration, SettingNamesAPictureAndLeavesTheCallersWordsAlone) {
    TempFolder elsewhere, pictures;
    CreateDirectoryA(folder.File("pictures").c_str(), nullptr);
    for (const std::string& path :
         {folder.File("tray.bmp"), folder.File("pictures\\tray.bmp"), pictures.File("tray.bmp")})
        WriteBytes(path, BitmapFile(16, 16));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    int round = 0;
    for (const FoundCase& c : kFoundCases) {
        SCOPED_TRACE(c.name);
        // A new name each time: the profile functions may cache a file they read.
        const std::string name = "velmo" + std::to_string(++round) + ".ini";
        config = folder.File(name);
        std::string text = c.config;
        if (const size_t at = text.find('*'); at != std::string::npos)
            text.replace(at, 1, pictures.File("tray.bmp"));
        WriteConfig(text);
        FreePicture(&picture);
        picture = PictureRecord{kPictureNone, 0, 0, 24, 20, {}, 0x21, {}};
        SetCurrentDirectoryA((c.openedByName ? folder : elsewhere).path.c_str());
        CfgReader reader;
        EXPECT_EQ(1, OpenCFGr(reinterpret_cast<DWORD>((c.openedByName ? name : config).c_str()),
                              &reader));
        SetCurrentDirectoryA(elsewhere.path.c_str());
        EXPECT_EQ(1, FindSection("Calvorin", 0, &reader));
        EXPECT_EQ(1, GetCFGPic("Icon", &picture, &reader));
        EXPECT_EQ(1, CloseCFGr(&reader));
        EXPECT_EQ(kPictureNone, picture.kind) << "described, not loaded yet";
        EXPECT_EQ(24, picture.cx);
        EXPECT_EQ(20, picture.cy);
        EXPECT_EQ(0x21u, picture.flags);
        // The record names a picture LoadImageEx can load.
        EXPECT_TRUE(LoadAtEdge(picture, 16) == 1 && picture.kind == kPictureBitmaps);
    }
    SetCurrentDirectoryA(previous);
    DeleteFileA(folder.File("pictures\\tray.bmp").c_str());
    RemoveDirectoryA(folder.File("pictures").c_str());
}

struct MissingCase {
    const char* name;
    const char* config;  // null: no configuration file at all
    bool folder;         // the configuration's path names a folder
    int opened, found;
};

// clang-format off
const MissingCase kMissingCases[] = {
    {"no file", nullptr, false, 0, 0},
    {"a folder", nullptr, true, 0, 0},
    {"no section", "[Other]\r\nIcon=tray.bmp\r\n", false, 1, 0},
    {"no key", "[Calvorin]\r\nPicture=tray.bmp\r\n[Other]\r\nIcon=tray.bmp\r\n", false, 1, 1},
    {"empty section", "[Calvorin]\r\n[Other]\r\nIcon=tray.bmp\r\n", false, 1, 1},
    {"empty value", "[Calvorin]\r\nIcon=\r\n", false, 1, 1},
    {"empty file", "", false, 1, 0},
};
// clang-format on

TEST_F(Configuration, MissingSettingLeavesNoPicture) {
    WriteBytes(folder.File("tray.bmp"), BitmapFile(16, 16));
    int round = 0;
    for (const MissingCase& c : kMissingCases) {
        SCOPED_TRACE(c.name);
        // A new name each time: the profile functions may cache a file they read.
        config = c.folder ? folder.path : folder.File("velmo" + std::to_string(++round) + ".ini");
        if (c.config) WriteConfig(c.config);
        // As a caller that never set it up leaves it: every row must be safe with it.
        CfgReader reader;
        memset(&reader, 0xCD, sizeof reader);
        EXPECT_EQ(c.opened, OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader));
        EXPECT_EQ(c.found, FindSection("Calvorin", 0, &reader));
        EXPECT_EQ(0, GetCFGPic("Icon", &picture, &reader));
        EXPECT_EQ(c.opened, CloseCFGr(&reader));
        EXPECT_EQ(0, LoadAtEdge(picture, 16));
        EXPECT_EQ(kPictureNone, picture.kind);
        EXPECT_EQ(0u, picture.handleA);
    }
}

// A reader that was closed, or whose last section search failed, reads no picture.
TEST_F(Configuration, AReaderWithoutItsSectionReadsNothing) {
    WriteBytes(folder.File("tray.bmp"), BitmapFile(16, 16));
    WriteConfig("[Calvorin]\r\nIcon=tray.bmp\r\n");
    for (const bool closed : {true, false}) {
        SCOPED_TRACE(closed ? "closed" : "a section not found");
        CfgReader reader;
        ASSERT_EQ(1, OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader));
        ASSERT_EQ(1, FindSection("Calvorin", 0, &reader));
        if (closed)
            EXPECT_EQ(1, CloseCFGr(&reader));
        else
            EXPECT_EQ(0, FindSection("Gone", 0, &reader));
        EXPECT_EQ(0, GetCFGPic("Icon", &picture, &reader));
        EXPECT_EQ(closed ? 0 : 1, CloseCFGr(&reader)) << "closing twice fails";
    }
}

TEST_F(Configuration, NullAndOverlongArgumentsAreRefused) {
    const std::string longName(300, 'x');
    const std::string longPath = folder.path + std::string(300, 'y') + ".ini";
    WriteConfig("[Calvorin]\r\nIcon=" + std::string(300, 'z') + ".bmp\r\n[" +
                std::string(250, 's') + "]\r\n");
    CfgReader reader;
    EXPECT_EQ(0, OpenCFGr(0, &reader));
    EXPECT_EQ(0, OpenCFGr(reinterpret_cast<DWORD>(longPath.c_str()), &reader));
    EXPECT_EQ(0, OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), nullptr));
    EXPECT_EQ(0, FindSection("Calvorin", 0, nullptr));
    EXPECT_EQ(0, GetCFGPic("Icon", &picture, nullptr));
    EXPECT_EQ(0, GetCFGPic("Icon", nullptr, nullptr));
    EXPECT_EQ(0, CloseCFGr(nullptr));

    ASSERT_EQ(1, OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader));
    EXPECT_EQ(0, FindSection(nullptr, 0, &reader));
    EXPECT_EQ(0, FindSection(longName.c_str(), 0, &reader));
    EXPECT_EQ(1, FindSection(std::string(250, 's').c_str(), 0, &reader));
    EXPECT_EQ(1, FindSection("Calvorin", 0, &reader));
    EXPECT_EQ(0, GetCFGPic(nullptr, &picture, &reader));
    EXPECT_EQ(0, GetCFGPic(longName.c_str(), &picture, &reader));
    EXPECT_EQ(0, GetCFGPic("Icon", nullptr, &reader));
    EXPECT_EQ(0, GetCFGPic("Icon", &picture, &reader)) << "picture path over MAX_PATH";
    EXPECT_EQ(kPictureNone, picture.kind);
    EXPECT_EQ(1, CloseCFGr(&reader));
}

// The simulator's own configuration, as shipped.
TEST(SampleConfiguration, NamesATrayPictureTheLibraryLoads) {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    StarterFiles files;
    files.config = std::string(self, std::strrchr(self, '\\') + 1) + "sample\\velmo.ini";
    PictureRecord picture{};
    ASSERT_EQ(1, files.ReadPicture(picture));
    ASSERT_EQ(1, LoadAtEdge(picture, 16));
    EXPECT_NE(kPictureNone, picture.kind);
    EXPECT_EQ(1, FreePicture(&picture));
}

}  // namespace
