#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "periphcore/netcard.h"
#include "periphcore/switching.h"
#include "tarvex_adapter.h"

using namespace periphcore::switching;
namespace fs = std::filesystem;

namespace {

// Lists as sets of joined pairs.
struct FakeLists {
    std::set<std::string> white, black, bank;
    Lookups lookups() const {
        auto in = [](const std::set<std::string>& s) {
            return [&s](const std::string& p, const std::string& v) { return s.contains(p + v); };
        };
        return {.white_listed = in(white), .black_listed = in(black), .bank_device = in(bank)};
    }
};

UsbEntry stick(std::string product, std::string subclass = "06") {
    return {.has_parent = true,
            .subclass = std::move(subclass),
            .interface = std::nullopt,
            .product = std::move(product),
            .vendor = "0bda"};
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(SwitchingDecisions, EachOperationLeavesWhatItMustAndActsOnTheRest) {
    FakeLists f;
    f.white = {"aaaa0bda"};
    f.black = {"bbbb0bda"};
    f.bank = {"cccc0bda"};
    const Lookups l = f.lookups();
    const UsbEntry plain = stick("c820"), white = stick("aaaa"), black = stick("bbbb"),
                   bank = stick("cccc"), optical = stick("c820", "02");

    // Storage switch-off: bank devices, optical drives and white-listed devices stay on.
    EXPECT_EQ(disable_action("08", plain, l), Action::SwitchOffAndRecord);
    EXPECT_EQ(disable_action("08", black, l), Action::SwitchOffAndRecord);
    EXPECT_EQ(disable_action("08", white, l), Action::Leave);
    EXPECT_EQ(disable_action("08", bank, l), Action::Leave);
    EXPECT_EQ(disable_action("08", optical, l), Action::Leave);
    UsbEntry named = plain;
    named.interface = "Mass Storage";
    EXPECT_EQ(disable_action("08", named, l), Action::Stop);
    named.interface = "Mass Storage ";
    EXPECT_EQ(disable_action("08", named, l), Action::SwitchOffAndRecord);

    // Other classes: only the white list protects; sub-class 02, bank lists and the interface
    // string mean nothing there.
    EXPECT_EQ(disable_action("03", optical, l), Action::SwitchOffAndRecord);
    EXPECT_EQ(disable_action("03", bank, l), Action::SwitchOffAndRecord);
    named.interface = "Mass Storage";
    EXPECT_EQ(disable_action("03", named, l), Action::SwitchOffAndRecord);
    EXPECT_EQ(disable_action("0e", white, l), Action::Leave);

    EXPECT_EQ(set_up_usb_action(plain, l), Action::SwitchOn);
    EXPECT_EQ(set_up_usb_action(black, l), Action::SwitchOn);
    EXPECT_EQ(set_up_usb_action(white, l), Action::Leave);
    EXPECT_EQ(set_up_usb_action(bank, l), Action::Leave);
    EXPECT_EQ(set_up_usb_action(optical, l), Action::Leave);

    // setup_storage switches everything on, lists or not.
    for (const UsbEntry& e : {plain, white, black, bank, optical})
        EXPECT_EQ(setup_storage_action(e), Action::SwitchOn);

    EXPECT_EQ(readonly_action(plain, l), Action::RemountReadOnly);
    EXPECT_EQ(readonly_action(optical, l), Action::RemountReadOnly);
    EXPECT_EQ(readonly_action(black, l), Action::SwitchOff);
    EXPECT_EQ(readonly_action(white, l), Action::Leave);
    EXPECT_EQ(readonly_action(bank, l), Action::Leave);
}

TEST(SwitchingDecisions, IncompleteEntriesAndOverlongIdsAreLeftByEveryOperation) {
    FakeLists f;
    const Lookups l = f.lookups();
    std::vector<UsbEntry> bad(5, stick("c820"));
    bad[0].has_parent = false;
    bad[1].subclass.reset();
    bad[2].product.reset();
    bad[3].vendor.reset();
    bad[4].product = "c8201";
    for (UsbEntry& e : bad) {
        // Even the stop: an entry the operation cannot act on decides nothing.
        e.interface = "Mass Storage";
        EXPECT_EQ(disable_action("08", e, l), Action::Leave);
        EXPECT_EQ(disable_action("03", e, l), Action::Leave);
        EXPECT_EQ(set_up_usb_action(e, l), Action::Leave);
        EXPECT_EQ(setup_storage_action(e), Action::Leave);
        EXPECT_EQ(readonly_action(e, l), Action::Leave);
    }
}

TEST(RecordFiles, LinesAreAppendedOnlyForKnownClassesAcceptableIdsAndRegularFiles) {
    EXPECT_EQ(record_file_for("03"), "/etc/mdm/disable-hid");
    EXPECT_EQ(record_file_for("08"), "/etc/mdm/disable-storage");
    EXPECT_EQ(record_file_for("0e"), "/etc/mdm/disable-video");
    EXPECT_EQ(record_file_for("net"), "/etc/mdm/disable-net");
    EXPECT_EQ(record_file_for("09"), std::nullopt);
    EXPECT_EQ(record_file_for(""), std::nullopt);

    EXPECT_EQ(record_line("c820", "0bda"), "c8200bda\n");
    EXPECT_EQ(record_line("c8200", "0bda"), std::nullopt);
    EXPECT_EQ(record_line("c820", std::string(70, 'a').c_str()), std::nullopt);
    EXPECT_EQ(record_line(nullptr, "0bda"), std::nullopt);
    EXPECT_EQ(record_line("", "0bda"), std::nullopt);

    fs::path dir = fs::temp_directory_path() / ("switching-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::path file = dir / "disable-storage";
    EXPECT_TRUE(append_record(file, "c820", "0bda"));
    EXPECT_TRUE(append_record(file, "c820", "0bda"));  // repeats are kept
    EXPECT_FALSE(append_record(file, "c8200", "0bda"));
    EXPECT_TRUE(append_record(file, "1234", "5678"));
    EXPECT_EQ(slurp(file), "c8200bda\nc8200bda\n12345678\n");

    // A link planted in place of the record file is not followed, a directory not written.
    fs::create_symlink(dir / "elsewhere", dir / "disable-hid");
    EXPECT_FALSE(append_record(dir / "disable-hid", "c820", "0bda"));
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
    fs::create_directory(dir / "disable-video");
    EXPECT_FALSE(append_record(dir / "disable-video", "c820", "0bda"));
    ASSERT_EQ(mkfifo((dir / "disable-net").c_str(), 0600), 0);
    EXPECT_FALSE(append_record(dir / "disable-net", "c820", "0bda"));  // and does not hang
    fs::remove_all(dir);
}

namespace {
std::vector<std::string> framework_calls;
int framework_answer_update = 0;

int record_call(const char* name, const tarvex_devctl_info* r, int answer) {
    framework_calls.push_back(std::string(name) + " type=" + std::to_string(r->type) +
                              " perm=" + std::to_string(r->perm) +
                              " ids=" + std::to_string(r->pid + r->vid + r->usb_subtype));
    return answer;
}
}  // namespace

TEST(NetCardPermission, UpdateFirstAndTheAddsAnswerWhenTheUpdateFails) {
    mdm::tarvex::Functions fns;
    fns.update = [](tarvex_devctl_info* r) {
        return record_call("update", r, framework_answer_update);
    };
    fns.add = [](tarvex_devctl_info* r) { return record_call("add", r, 9); };

    framework_answer_update = 0;
    EXPECT_EQ(periphcore::netcard::set_net_card_perm(fns, periphcore::netcard::kDeny), 0);
    EXPECT_EQ(framework_calls, (std::vector<std::string>{"update type=7 perm=2 ids=0"}));

    framework_calls.clear();
    framework_answer_update = -1;
    EXPECT_EQ(periphcore::netcard::set_net_card_perm(fns, periphcore::netcard::kAllow), 9);
    EXPECT_EQ(framework_calls,
              (std::vector<std::string>{"update type=7 perm=1 ids=0", "add type=7 perm=1 ids=0"}));
}
