// The benchmarks reach the records' dialog checks through this name.
#pragma once

#include "records/dialog_windows.h"
