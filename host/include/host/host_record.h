// The record a host hands InitGlobalModule, filled the one way that the host
// simulator and the tests' hosts share.
#pragma once

#include <windows.h>

#include <cstdint>

#include "records/host_records.h"

// The host's blocks that the record points into; they must outlive the record.
struct HostRecordStorage {
    uint8_t pluginRecord[kPropertiesTargetOffset + sizeof(const char*)];
    uint8_t hostMetrics[kTrayIconSizeOffset + sizeof(int32_t)];
};

// What a host puts into the record. Null paths are left null.
struct HostSide {
    HWND window;               // the host window and the parent window alike
    const char* hostDir;       // ends in a backslash
    const char* localPath;
    const char* configFile;
    const char* propertiesTarget;
    int32_t trayIconSize;
    uint32_t foreWndFixArg;
    AddIconRoutine addIcon;
    RemoveIconRoutine removeIcon;
    uint32_t size = kHostInfoSize;  // what the record claims, as an older host would
};

HostInfo MakeHostRecord(const HostSide& side, HostRecordStorage& storage);

// Points the plug-in record's properties target at another string.
void SetPropertiesTarget(HostRecordStorage& storage, const char* target);
