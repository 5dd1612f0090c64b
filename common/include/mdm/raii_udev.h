// Owners for libudev handles (link mdm_common_udev).
#pragma once

#include <libudev.h>

#include "mdm/raii.h"

namespace mdm {

using UdevPtr = Owner<struct udev, udev_unref>;
using UdevDevicePtr = Owner<struct udev_device, udev_device_unref>;
using UdevEnumeratePtr = Owner<struct udev_enumerate, udev_enumerate_unref>;
using UdevMonitorPtr = Owner<struct udev_monitor, udev_monitor_unref>;

}  // namespace mdm
