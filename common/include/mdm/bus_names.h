// The bus contract in one place: every service's well-known name, object path and interface,
// and the outside peers the system calls. Each name is written here once.
#pragma once

namespace mdm::bus {

struct Endpoint {
    const char* name;       // well-known bus name
    const char* path;       // object path
    const char* interface;  // interface name
};

// plugwatch's storage object (system bus).
inline constexpr Endpoint kStorage{"com.quorl.storage", "/com/quorl/storage", "com.quorl.storage"};
// mountwatch's mount signals (session bus).
inline constexpr Endpoint kStorageMount{"com.quorl.storage.mount", "/com/quorl/storage/mount",
                                        "com.quorl.storage.mount"};
// bankguard; its object manager is rooted at kBankManagerPath.
inline constexpr Endpoint kBank{"com.quorl.bankingdevctl", "/com/quorl/bankingdevctl",
                                "com.quorl.bankingdevctl"};
inline constexpr const char* kBankManagerPath = "/com/quorl";

// The control services: the interface is named like the service, the path follows the name.
inline constexpr Endpoint kListControl{"com.quorl.ListControl", "/com/quorl/ListControl",
                                       "com.quorl.ListControl"};
inline constexpr Endpoint kNetcardControl{"com.quorl.netcardcontrol", "/com/quorl/netcardcontrol",
                                          "com.quorl.netcardcontrol"};
inline constexpr Endpoint kStorageControl{"com.quorl.StorageControl", "/com/quorl/StorageControl",
                                          "com.quorl.StorageControl"};
inline constexpr Endpoint kHidControl{"com.quorl.InputControl.hid", "/com/quorl/InputControl/hid",
                                      "com.quorl.InputControl.hid"};
inline constexpr Endpoint kVideoControl{"com.quorl.InputControl.video",
                                        "/com/quorl/InputControl/video",
                                        "com.quorl.InputControl.video"};

// The peers outside the system, all on the system bus. "Responser" is the agent's own
// spelling of its path.
inline constexpr Endpoint kLogService{"org.log.sys_transmit", "/org/log/sys_transmit",
                                      "org.log.transmit"};
inline constexpr Endpoint kManagementClient{
    "com.quorl.brannoc.ostrelclient", "/brannoc/ostrelclient", "com.quorl.brannoc.ostrelclient"};
inline constexpr Endpoint kNotificationAgent{"com.quorl.brannoc.ostrelagent", "/brannoc/Responser",
                                             "com.quorl.brannoc.ostrelagent"};

}  // namespace mdm::bus
