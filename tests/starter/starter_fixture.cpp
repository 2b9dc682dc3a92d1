#include "tests/starter/starter_fixture.h"

int StarterFiles::ReadPicture(PictureRecord& picture, const char* section, const char* key) const {
    CfgReader reader;
    OpenCFGr(reinterpret_cast<DWORD>(config.c_str()), &reader);
    FindSection(section, 0, &reader);
    const int found = GetCFGPic(key, &picture, &reader);
    CloseCFGr(&reader);
    return found;
}

int LoadAtEdge(PictureRecord& picture, int edge) {
    picture.cx = edge;
    picture.cy = edge;
    picture.flags |= kPictureFlagUseSize;
    return LoadImageEx(&picture);
}
