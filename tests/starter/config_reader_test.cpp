#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "records/starter_api.h"
#include "tests/shared/picture_files.h"
#include "tests/starter/starter_files.h"
#include "tests/support/temp_folder.h"

namespace {

class Configuration : public testing::Test, protected StarterFiles {
protected:
    PictureRecord picture{};

    void TearDown() override { FreePicture(&picture); }

    // The record GetCFGPic filled names a picture LoadImageEx can load.
    bool NamesLoadablePicture() {
        return LoadAtEdge(picture, 16) == 1 && picture.kind == kPictureBitmaps;
    }
};

TEST_F(Configuration, RelativePictureCountsFromTheConfigurationsFolder) {
    CreateDirectoryA(folder.File("pictures").c_str(), nullptr);
    WriteBytes(folder.File("pictures\\tray.bmp"), BitmapFile(16, 16));
    WriteConfig("[Other]\r\nIcon=elsewhere.bmp\r\n[Calvorin]\r\nIcon=pictures\\tray.bmp\r\n");
    // Not the folder the profile functions or LoadImage would look in on their own.
    TempFolder elsewhere;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(elsewhere.path.c_str());

    EXPECT_EQ(1, ReadPicture(picture));
    EXPECT_EQ(kPictureNone, picture.kind) << "described, not loaded yet";
    EXPECT_TRUE(NamesLoadablePicture());
    SetCurrentDirectoryA(previous);
    RemoveDirectoryA(folder.File("pictures").c_str());
}

TEST_F(Configuration, AbsolutePictureAndRelativeConfigurationPath) {
    TempFolder pictures;
    WriteBytes(pictures.File("tray.bmp"), BitmapFile(16, 16));
    WriteConfig("[Calvorin]\r\nIcon=" + pictures.File("tray.bmp") + "\r\n");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(folder.path.c_str());
    CfgReader reader;
    EXPECT_EQ(1, OpenCFGr(reinterpret_cast<DWORD>("velmo.ini"), &reader));
    SetCurrentDirectoryA(previous);

    EXPECT_EQ(1, FindSection("Calvorin", 0, &reader));
    EXPECT_EQ(1, GetCFGPic("Icon", &picture, &reader));
    EXPECT_EQ(1, CloseCFGr(&reader));
    EXPECT_TRUE(NamesLoadablePicture());
}

TEST_F(Configuration, SectionAndKeyMatchWhateverTheirCase) {
    WriteBytes(folder.File("tray.bmp"), BitmapFile(16, 16));
    WriteConfig("[CALVORIN]\r\nicon=tray.bmp\r\n");
    EXPECT_EQ(1, ReadPicture(picture, "Calvorin", "Icon"));
    EXPECT_TRUE(NamesLoadablePicture());
}

TEST_F(Configuration, ReadingLeavesTheCallersWordsAlone) {
    WriteBytes(folder.File("tray.bmp"), BitmapFile(16, 16));
    WriteConfig("[Calvorin]\r\nIcon=tray.bmp\r\n");
    picture.cx = 24;
    picture.cy = 20;
    picture.flags = 0x21;
    EXPECT_EQ(1, ReadPicture(picture));
    EXPECT_EQ(24, picture.cx);
    EXPECT_EQ(20, picture.cy);
    EXPECT_EQ(0x21u, picture.flags);
}

struct MissingCase {
    const char* name;
    const char* config;  // null: no configuration file at all
    int opened, found;
};

const MissingCase kMissingCases[] = {
    {"no file", nullptr, 0, 0},
    {"no section", "[Other]\r\nIcon=tray.bmp\r\n", 1, 0},
    {"no key", "[Calvorin]\r\nPicture=tray.bmp\r\n[Other]\r\nIcon=tray.bmp\r\n", 1, 1},
    {"empty section", "[Calvorin]\r\n[Other]\r\nIcon=tray.bmp\r\n", 1, 1},
    {"empty value", "[Calvorin]\r\nIcon=\r\n", 1, 1},
    {"empty file", "", 1, 0},
};

TEST_F(Configuration, MissingSettingLeavesNoPicture) {
    WriteBytes(folder.File("tray.bmp"), BitmapFile(16, 16));
    int round = 0;
    for (const MissingCase& c : kMissingCases) {
        SCOPED_TRACE(c.name);
        // A new name each time: the profile functions may cache a file they read.
        config = folder.File("velmo" + std::to_string(++round) + ".ini");
        if (c.config) WriteConfig(c.config);
        CfgReader reader;
        EXPECT_EQ(c.opened, OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader));
        EXPECT_EQ(c.found, FindSection("Calvorin", 0, &reader));
        EXPECT_EQ(0, GetCFGPic("Icon", &picture, &reader));
        EXPECT_EQ(c.opened, CloseCFGr(&reader));
        EXPECT_EQ(0, LoadAtEdge(picture, 16));
        EXPECT_EQ(kPictureNone, picture.kind);
        EXPECT_EQ(0u, picture.handleA);
    }
}

TEST_F(Configuration, FolderIsNoConfiguration) {
    CfgReader reader;
    EXPECT_EQ(0, OpenCFGr(reinterpret_cast<DWORD>(folder.path.c_str()), &reader));
    EXPECT_EQ(0, FindSection("Calvorin", 0, &reader));
}

TEST_F(Configuration, ReaderLeftUninitialisedByTheCallerIsSafe) {
    CfgReader reader;
    memset(&reader, 0xCD, sizeof reader);
    EXPECT_EQ(0, OpenCFGr(reinterpret_cast<DWORD>(folder.File("none.ini").c_str()), &reader));
    EXPECT_EQ(0, FindSection("Calvorin", 0, &reader));
    EXPECT_EQ(0, GetCFGPic("Icon", &picture, &reader));
    EXPECT_EQ(0, CloseCFGr(&reader));
}

TEST_F(Configuration, ClosedReaderReadsNothing) {
    WriteBytes(folder.File("tray.bmp"), BitmapFile(16, 16));
    WriteConfig("[Calvorin]\r\nIcon=tray.bmp\r\n");
    CfgReader reader;
    ASSERT_EQ(1, OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader));
    ASSERT_EQ(1, FindSection("Calvorin", 0, &reader));
    EXPECT_EQ(1, CloseCFGr(&reader));
    EXPECT_EQ(0, GetCFGPic("Icon", &picture, &reader));
    EXPECT_EQ(0, CloseCFGr(&reader)) << "closing twice";
}

TEST_F(Configuration, SectionNotFoundDropsTheOneFoundBefore) {
    WriteBytes(folder.File("tray.bmp"), BitmapFile(16, 16));
    WriteConfig("[Calvorin]\r\nIcon=tray.bmp\r\n");
    CfgReader reader;
    ASSERT_EQ(1, OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader));
    EXPECT_EQ(1, FindSection("Calvorin", 0, &reader));
    EXPECT_EQ(0, FindSection("Gone", 0, &reader));
    EXPECT_EQ(0, GetCFGPic("Icon", &picture, &reader));
    CloseCFGr(&reader);
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
    const std::string sample = std::string("Z:") + SAMPLE_FOLDER + "velmo.ini";
    StarterFiles files;
    files.config = sample;
    PictureRecord picture{};
    ASSERT_EQ(1, files.ReadPicture(picture));
    ASSERT_EQ(1, LoadAtEdge(picture, 16));
    EXPECT_NE(kPictureNone, picture.kind);
    EXPECT_EQ(1, FreePicture(&picture));
}

}  // namespace
