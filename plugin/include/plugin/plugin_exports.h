// The three functions the host calls, exported undecorated (see calvorinor.def).
#pragma once

#include <windows.h>

#include <cstdint>

#include "records/host_records.h"

extern "C" {
const PluginInfo* WINAPI GetPluginInfo();
uint32_t WINAPI InitGlobalModule(const HostInfo* host);
void WINAPI DoneModule();
}
