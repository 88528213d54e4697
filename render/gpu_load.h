// GPU load in percent: amdgpu's gpu_busy_percent in sysfs, or NVML loaded at run time.
// Without either there is no reading.
#pragma once

bool init_gpu_load();
bool get_gpu_load(int& percent);
void close_gpu_load();
