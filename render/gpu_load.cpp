#include "render/gpu_load.h"

#include "platform/log.h"

#include <cstdio>
#include <dlfcn.h>

namespace {
struct NvmlUtilization {
    unsigned gpu, memory;
};
using NvmlInit = int (*)();
using NvmlShutdown = int (*)();
using NvmlGetHandle = int (*)(unsigned, void**);
using NvmlGetUtilization = int (*)(void*, NvmlUtilization*);

char sysfs_path[64];
void* nvml = nullptr;
NvmlShutdown nvml_shutdown = nullptr;
NvmlGetHandle nvml_get_handle = nullptr;
NvmlGetUtilization nvml_get_utilization = nullptr;

bool read_sysfs(int& percent) {
    FILE* f = fopen(sysfs_path, "r");
    if (!f) return false;
    int v = -1;
    bool ok = fscanf(f, "%d", &v) == 1 && v >= 0 && v <= 100;
    fclose(f);
    if (ok) percent = v;
    return ok;
}

bool find_sysfs() {
    for (int card = 0; card < 8; ++card) {
        snprintf(sysfs_path, sizeof(sysfs_path), "/sys/class/drm/card%d/device/gpu_busy_percent",
                 card);
        int v;
        if (read_sysfs(v)) return true;
    }
    sysfs_path[0] = 0;
    return false;
}

bool load_nvml() {
    nvml = dlopen("libnvidia-ml.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!nvml) return false;
    auto init = reinterpret_cast<NvmlInit>(dlsym(nvml, "nvmlInit_v2"));
    nvml_shutdown = reinterpret_cast<NvmlShutdown>(dlsym(nvml, "nvmlShutdown"));
    nvml_get_handle = reinterpret_cast<NvmlGetHandle>(dlsym(nvml, "nvmlDeviceGetHandleByIndex_v2"));
    nvml_get_utilization =
        reinterpret_cast<NvmlGetUtilization>(dlsym(nvml, "nvmlDeviceGetUtilizationRates"));
    if (init && nvml_shutdown && nvml_get_handle && nvml_get_utilization) {
        if (init() == 0) return true;
        debug("nvmlInit failed!");
    }
    dlclose(nvml);
    nvml = nullptr;
    return false;
}
} // namespace

bool init_gpu_load() {
    if (sysfs_path[0] || nvml) return true;
    return find_sysfs() || load_nvml();
}

bool get_gpu_load(int& percent) {
    if (sysfs_path[0]) return read_sysfs(percent);
    if (!nvml) return false;
    void* dev = nullptr;
    NvmlUtilization u = {};
    if (nvml_get_handle(0, &dev) != 0 || nvml_get_utilization(dev, &u) != 0) return false;
    percent = int(u.gpu);
    return true;
}

void close_gpu_load() {
    sysfs_path[0] = 0;
    if (!nvml) return;
    nvml_shutdown();
    dlclose(nvml);
    nvml = nullptr;
}
