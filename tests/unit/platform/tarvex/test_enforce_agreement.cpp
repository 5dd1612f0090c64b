// The enforcement rule against the plug monitor's permission lookup, over one matrix of
// tables and devices: the permission the kernel is told must be the one the user is shown.
// The lookup comes from the shared permission library the plug monitor and mdmctl link, so
// the test follows that logic wherever it lives.
#include <gtest/gtest.h>

#include "enforce_rule.h"
#include "mdmtest/fake_framework.h"
#include "perm/category.h"
#include "perm/device_perm.h"

using namespace tarvex_standin;
using mdm::tarvex::class_record;
using mdm::tarvex::device_record;
using mdmtest::FakeFramework;

namespace {

class QuietLog : public mdm::perm::Log {
  public:
    void write(int, const std::string&) override {}
};

struct Device {
    const char* cls;
    const char* pid;
    const char* vid;
};

}  // namespace

TEST(EnforceAgreement, EveryTableAndDeviceGivesThePlugMonitorsPermission) {
    const std::vector<std::vector<tarvex_devctl_info>> class_tables = {
        {},
        {class_record(9, 6, 1)},
        {class_record(9, 6, 2)},
        {class_record(9, 6, 5)},
        {class_record(9, 19, 2), class_record(9, 6, 5)},
        {class_record(9, 19, 5)},
        {class_record(9, 6, 2), class_record(3, 6, 1)},
        {class_record(kNetCardType, 0, 2)},
        {class_record(kNetCardType, 6, 2), class_record(9, 0, 2)},
        {class_record(9, 19, 3)},
    };
    const std::vector<std::vector<tarvex_devctl_info>> device_tables = {
        {},
        {device_record(0xc820, 0x0bda, 1)},
        {device_record(0xc820, 0x0bda, 2)},
        {device_record(0xc820, 0x0bda, 5)},
        {device_record(0xc820, 0x0bda, 4)},
        {device_record(0x0001, 0x0bda, 2), device_record(0xc820, 0x0001, 2)},
        {device_record(0x12345, 0x0bda, 2)},
    };
    const std::vector<Device> devices = {
        {"08", "c820", "0bda"}, {"ff", "c820", "0bda"}, {"03", "c820", "0bda"},
        {"09", "c820", "0bda"}, {"0e", "c820", "0bda"}, {"02", "c820", "0bda"},
        {"08", "C820", "0bda"}, {"08", "820", "0bda"},  {"ff", "12345", "0bda"},
        {"08", "0001", "0bda"}, {"FF", "c820", "0bda"},
    };

    QuietLog log;
    int compared = 0;
    for (const auto& classes : class_tables) {
        for (const auto& entries : device_tables) {
            FakeFramework::reset();
            FakeFramework::state().classes = classes;
            FakeFramework::state().devices = entries;
            const Policy policy(Tables{entries, classes});
            for (const auto& dev : devices) {
                const int subtype =
                    mdm::perm::usb_subtype_of(mdm::perm::category_of_class(dev.cls));
                const int announced = mdm::perm::get_device_perm(subtype, dev.pid, dev.vid,
                                                                 FakeFramework::functions(), log);
                const Decision d = decide(policy, {dev.cls, mdm::parse_rendered_hex(dev.pid),
                                                   mdm::parse_rendered_hex(dev.vid)});
                SCOPED_TRACE(::testing::Message()
                             << "class " << dev.cls << " ids " << dev.pid << ":" << dev.vid << ", "
                             << classes.size() << " class entries, " << entries.size()
                             << " device entries");
                EXPECT_EQ(d.perm, announced);
                // What the kernel is told follows from the announced permission alone; only
                // hubs are spared.
                const bool hub = std::string_view(dev.cls) == "09";
                const Action expected =
                    hub || announced != kPermDeny
                        ? (announced == kPermReadOnly && std::string_view(dev.cls) == "08" && !hub
                               ? Action::ReadOnly
                               : Action::Authorize)
                        : Action::Deauthorize;
                EXPECT_EQ(action_word(d.action), std::string(action_word(expected)));
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 10 * 7 * 11);
}
