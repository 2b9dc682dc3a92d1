#include "host/host_record.h"

#include <cstring>

HostInfo MakeHostRecord(const HostSide& side, HostRecordStorage& storage) {
    SetPropertiesTarget(storage, side.propertiesTarget);
    std::memcpy(storage.hostMetrics + kTrayIconSizeOffset, &side.trayIconSize,
                sizeof side.trayIconSize);
    HostInfo record = {};
    record.size = side.size;
    record.pluginRecord = storage.pluginRecord;
    record.hostMetrics = storage.hostMetrics;
    record.foreWndFixArg = side.foreWndFixArg;
    record.hostDir = side.hostDir;
    record.localPath = side.localPath;
    record.configFile = reinterpret_cast<uint32_t>(side.configFile);
    record.hostWindow = side.window;
    record.parentWindow = side.window;
    record.addIcon = side.addIcon;
    record.removeIcon = side.removeIcon;
    return record;
}

void SetPropertiesTarget(HostRecordStorage& storage, const char* target) {
    std::memcpy(storage.pluginRecord + kPropertiesTargetOffset, &target, sizeof target);
}
