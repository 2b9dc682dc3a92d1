// A host configuration and picture files in a fresh folder, read through the
// library the way the module's start-up does.
#pragma once

#include <string>

#include "records/starter_api.h"
#include "tests/shared/temp_folder.h"

struct StarterFiles {
    TempFolder folder;
    std::string config = folder.File("velmo.ini");

    void WriteConfig(const std::string& text) { WriteBytes(config, text); }

    // OpenCFGr, FindSection, GetCFGPic, CloseCFGr on the configuration; returns
    // GetCFGPic's result.
    int ReadPicture(PictureRecord& picture, const char* section = "Calvorin",
                    const char* key = "Icon") const {
        CfgReader reader;
        OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader);
        FindSection(section, 0, &reader);
        const int found = GetCFGPic(key, &picture, &reader);
        CloseCFGr(&reader);
        return found;
    }
};

// The module's call: the configured picture at edge by edge pixels.
inline int LoadAtEdge(PictureRecord& picture, int edge) {
    picture.cx = edge;
    picture.cy = edge;
    picture.flags |= kPictureFlagUseSize;
    return LoadImageEx(&picture);
}
