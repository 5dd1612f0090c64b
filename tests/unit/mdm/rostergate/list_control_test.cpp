// The list methods against a fake framework table and a scratch bank directory.
#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "list_control.h"
#include <mdmtest/fake_framework.h>
#include <mdmtest/scratch.h>

using namespace rostergate;

namespace {

using Lines = std::vector<std::string>;

using mdmtest::FakeFramework;

std::string ids(const tarvex_devctl_info& r) {
    return entry_text(r) + " " + std::to_string(r.perm);
}

class Lists : public ::testing::Test {
  protected:
    // The framework's per-device table behind the adapter's call table, every call recorded.
    void SetUp() override {
        FakeFramework::reset();
        framework().keeps_devices = true;
        Environment env;
        env.fns = &FakeFramework::functions();
        env.bank = BankFiles(dir.path());
        env.log = [this](const std::string& line) { logged.push_back(line); };
        env.audit = [this](const std::string& message) { audits.push_back(message); };
        lists = std::make_unique<ListControl>(std::move(env));
    }

    void put(uint32_t pid, uint32_t vid, int perm) {
        framework().devices.push_back(mdm::tarvex::device_record(pid, vid, perm));
    }
    Lines entries() const {
        Lines out;
        for (const auto& r : framework().devices)
            out.push_back(ids(r));
        return out;
    }
    std::size_t logged_with(std::string_view text) const {
        return std::count_if(logged.begin(), logged.end(),
                             [&](const std::string& l) { return l.find(text) != l.npos; });
    }
    void forget() {
        logged.clear();
        audits.clear();
        framework().writes.clear();
        framework().batches.clear();
    }
    static FakeFramework& framework() { return FakeFramework::state(); }
    // The calls made, single entries as "add c8200bda 2", batches as "batch_del 2".
    static Lines calls() {
        Lines out;
        for (const auto& [name, r] : framework().writes)
            out.push_back(name + " " + ids(r));
        for (const auto& b : framework().batches)
            out.push_back(b.call + " " + std::to_string(b.records.size()));
        return out;
    }
    // The records of the last batch call; none before the first.
    static std::vector<tarvex_devctl_info> batch() {
        const auto& b = framework().batches;
        return b.empty() ? std::vector<tarvex_devctl_info>{} : b.back().records;
    }

    mdmtest::Scratch dir{"devlist"};
    Lines logged, audits;
    std::unique_ptr<ListControl> lists;
};

TEST_F(Lists, SingleMethodsDifferInLengthCaseAuditAndListedTests) {
    // More than four characters: -1 without audit, except DelBlackList which goes on.
    EXPECT_EQ(lists->SetWhiteList("c8200", "0bda"), -1);
    EXPECT_EQ(lists->SetBlackList("c820", "0bda0"), -1);
    EXPECT_EQ(lists->DelWhiteList("c8200", "0bda"), -1);
    EXPECT_TRUE(audits.empty());
    EXPECT_EQ(lists->DelBlackList("c8200", "bda"), -1);
    EXPECT_EQ(audits, Lines{"删除黑名单设备pid: c8200, vid: bda"});
    // Characters, not bytes: four two-byte characters pass the length test, then fail to
    // convert after their audit.
    forget();
    EXPECT_THROW(lists->SetWhiteList("éééé", "0bda"), RequestError);
    EXPECT_EQ(audits.size(), 1u);
    EXPECT_TRUE(calls().empty());

    // White: the joined text is lowercased before the duplicate test; black: it is not, so
    // the add is refused and the update decides.
    put(0xc820, 0x0bda, 1);
    put(0x1111, 0x2222, 2);
    forget();
    EXPECT_EQ(lists->SetWhiteList("C820", "0BDA"), -1);
    EXPECT_TRUE(audits.empty());
    EXPECT_EQ(lists->SetBlackList("1111", "2222"), -1);
    EXPECT_EQ(logged.back(), "[RosterGate]:SetBlackList return -1");
    EXPECT_EQ(lists->SetBlackList("C820", "0BDA"), 0);
    EXPECT_EQ(calls(), (Lines{"add c8200bda 2", "update c8200bda 2"}));
    EXPECT_EQ(audits, Lines{"添加黑名单设备pid: C820, vid: 0BDA"});
    EXPECT_EQ(lists->GetBlackList(), (Lines{"c8200bda", "11112222"}));

    // Short ids: written as numbers, listed zero-padded; the same call again passes the
    // duplicate test (it compares "1234") and ends in the update.
    forget();
    EXPECT_EQ(lists->SetWhiteList("12", "34"), 0);
    EXPECT_EQ(lists->GetWhiteList(), Lines{"00120034"});
    EXPECT_EQ(lists->SetWhiteList("12", "34"), 0);
    EXPECT_EQ(calls(), (Lines{"add 00120034 1", "add 00120034 1", "update 00120034 1"}));
    EXPECT_EQ(logged_with("SetWhiteList tarvex_devctl_update_perm return 0"), 1u);

    // Not listed: DelWhiteList answers 0, DelBlackList -1; both audit first.
    forget();
    EXPECT_EQ(lists->DelWhiteList("9999", "8888"), 0);
    EXPECT_EQ(lists->DelBlackList("9999", "8888"), -1);
    EXPECT_EQ(audits.size(), 2u);
    EXPECT_TRUE(calls().empty());

    // Listed: removed with the record built from the halves as given.
    EXPECT_EQ(lists->DelWhiteList("0012", "0034"), 0);
    EXPECT_EQ(calls(), Lines{"remove 00120034 0"});
    EXPECT_EQ(logged.back(), "[RosterGate]:DelWhiteList return 0");
    // The match is on the joined text, the record from the halves as split: a removal the
    // framework refuses is logged and returned.
    put(0x4444, 0x5555, 2);
    forget();
    EXPECT_EQ(lists->DelBlackList("444", "45555"), 3);
    EXPECT_EQ(calls(), Lines{"remove 044445555 0"});
    EXPECT_EQ(logged.back(), "[RosterGate]:DelBlackList return 3");
    EXPECT_EQ(entries(), (Lines{"c8200bda 2", "11112222 2", "44445555 2"}));
}

TEST_F(Lists, BankDevicesKeepTheirEntries) {
    dir.write("devlist/ushield", "0001096e\n0405096e\n");
    put(0x0001, 0x096e, 1);
    put(0x0405, 0x096e, 2);
    // Already white-listed: joins the bank white list once, and the call answers -1.
    EXPECT_EQ(lists->SetWhiteList("0001", "096E"), -1);
    EXPECT_EQ(lists->SetWhiteList("0001", "096e"), -1);
    EXPECT_EQ(dir.read("white-list"), "0001096e\n");
    EXPECT_EQ(lists->DelWhiteList("0001", "096e"), 0);
    EXPECT_EQ(lists->DelBlackList("0405", "096e"), 0);
    EXPECT_EQ(logged_with("[RosterGate]:DelBlackList 0405096e ignore"), 1u);
    EXPECT_EQ(dir.read("white-list"), "");
    EXPECT_TRUE(calls().empty());
}

TEST_F(Lists, BatchAdditionsFillLenRecordsAndRefuseWhatDoesNotFit) {
    dir.write("devlist/ushield", "0001096e\n");
    std::vector<Pair> two = {{"0001", "096E"}, {"abcd", "1234"}};
    EXPECT_EQ(lists->SetWhiteListByBatch(two, 3), 0);
    ASSERT_EQ(batch().size(), 3u);
    EXPECT_EQ(ids(batch()[0]), "0001096e 1");
    EXPECT_EQ(ids(batch()[1]), "abcd1234 1");
    const tarvex_devctl_info zero{};
    EXPECT_EQ(std::memcmp(&batch()[2], &zero, sizeof zero), 0);
    EXPECT_EQ(dir.read("white-list"), "0001096e\n");
    EXPECT_EQ(logged_with("[RosterGate]:SetWhiteListByBatch('0001', '096E')"), 1u);
    EXPECT_EQ(logged_with("SetWhiteListByBatch pid: 43981, vid: 4660, perm: 1"), 1u);
    // Already on the bank white list: not again; given twice in one call: twice.
    lists->SetWhiteListByBatch(two, 2);
    EXPECT_EQ(dir.read("white-list"), "0001096e\n");
    dir.write("white-list", "");
    lists->SetWhiteListByBatch({{"0001", "096e"}, {"0001", "096e"}}, 2);
    EXPECT_EQ(dir.read("white-list"), "0001096e\n0001096e\n");

    // Refused with nothing handed over or written, and nothing logged as prepared.
    dir.write("white-list", "");
    forget();
    EXPECT_THROW(lists->SetWhiteListByBatch(two, 1), RequestError);  // more pairs than len
    EXPECT_THROW(lists->SetBlackListByBatch({}, kMaxBatchLen + 1), RequestError);
    EXPECT_THROW(lists->SetBlackListByBatch({}, -1), RequestError);
    EXPECT_EQ(logged, (Lines{"[RosterGate]:SetWhiteListByBatch", "[RosterGate]:SetBlackListByBatch",
                             "[RosterGate]:SetBlackListByBatch"}));
    // A bad id after a bank pair: nothing written anywhere.
    EXPECT_THROW(lists->SetWhiteListByBatch({{"0001", "096e"}, {"123456789", "1"}}, 2),
                 RequestError);
    EXPECT_THROW(lists->SetBlackListByBatch({{"zz", "1"}}, 1), RequestError);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(dir.read("white-list"), "");

    // Black: written as given, listed lowercased.
    EXPECT_EQ(lists->SetBlackListByBatch({{"ABCD", "EF01"}}, 1), 0);
    EXPECT_EQ(lists->GetBlackList(), Lines{"abcdef01"});
}

TEST_F(Lists, BatchRemovalCutsTheJoinedTextAndSparesDefaultAndBank) {
    dir.write("devlist/fingerprint", "0001096e\n");
    dir.write("white-list", "0001096e\n2222aaaa\n");
    put(0xc820, 0x0bda, 1);
    put(0x0001, 0x096e, 1);
    // Only the default and a bank pair: the bank pair leaves the bank white list, and the
    // framework is not called.
    EXPECT_EQ(lists->DelWhiteListByBatch({{"C820", "0BDA"}, {"0001", "096e"}}, 0), 0);
    EXPECT_EQ(dir.read("white-list"), "2222aaaa\n");
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(audits, Lines{"批量删除白名单"});

    // The joined text is cut four and four: c82 + 00bdb removes c820 / 0bdb (c82 + 00bda
    // would be the default pair, kept above). The framework's count decides the result.
    put(0x1234, 0x5678, 1);
    put(0xc820, 0x0bdb, 1);
    EXPECT_EQ(lists->DelWhiteListByBatch({{"c82", "00BDB"}, {"12", "345678"}}, 99), 0);
    EXPECT_EQ(calls(), Lines{"batch_del 2"});
    EXPECT_EQ(ids(batch()[0]), "c8200bdb 0");
    EXPECT_EQ(ids(batch()[1]), "12345678 0");
    EXPECT_EQ(logged_with("DelWhiteListByBatch pid: 51232, vid: 3035"), 1u);
    EXPECT_EQ(entries(), (Lines{"c8200bda 1", "0001096e 1"}));
    framework().batch_del_answer = 5;
    EXPECT_EQ(lists->DelWhiteListByBatch({{"9999", "9999"}}, 1), 5);
    EXPECT_EQ(logged.back(), "[RosterGate]:DelWhiteListByBatch return 5");
    // Too short to cut a vid from: a bus error, with the bank white list untouched.
    dir.write("white-list", "0001096e\n");
    EXPECT_THROW(lists->DelWhiteListByBatch({{"0001", "096e"}, {"12", "34"}}, 2), RequestError);
    EXPECT_EQ(dir.read("white-list"), "0001096e\n");
}

TEST_F(Lists, ClearingRemovesInOneBatchAndEmptiesTheBankWhiteListOnlyWhenComplete) {
    dir.write("devlist/taxtray", "0001096e\n0405096e\n");
    dir.write("white-list", "0001096e\n");
    put(0xc820, 0x0bda, 1);
    put(0x0001, 0x096e, 1);
    EXPECT_EQ(lists->ClearWhiteList(), 0);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(dir.read("white-list"), "0001096e\n");
    EXPECT_EQ(audits, Lines{"清空白名单"});
    EXPECT_EQ(logged_with("[RosterGate]:ClearWhiteList 0001096e ignore"), 1u);
    EXPECT_EQ(logged_with("[RosterGate]:ClearWhiteList c8200bda"), 1u);

    put(0x1111, 0x2222, 1);
    put(0x3333, 0x4444, 1);
    framework().batch_del_answer = 1;
    EXPECT_EQ(lists->ClearWhiteList(), 1);
    EXPECT_EQ(dir.read("white-list"), "0001096e\n");
    framework().batch_del_answer.reset();
    put(0x1111, 0x2222, 1);
    put(0x3333, 0x4444, 1);
    forget();
    EXPECT_EQ(lists->ClearWhiteList(), 0);
    EXPECT_EQ(calls(), Lines{"batch_del 2"});
    EXPECT_EQ(dir.read("white-list"), "");
    EXPECT_EQ(entries(), (Lines{"c8200bda 1", "0001096e 1"}));

    // Black: the default device goes like any entry, bank devices stay, the bank white
    // list is not touched.
    framework().devices.clear();
    dir.write("white-list", "0405096e\n");
    put(0xc820, 0x0bda, 2);
    put(0x0405, 0x096e, 2);
    EXPECT_EQ(lists->ClearBlackList(), 0);
    EXPECT_EQ(entries(), Lines{"0405096e 2"});
    EXPECT_EQ(dir.read("white-list"), "0405096e\n");
    EXPECT_EQ(audits.back(), "清空黑名单");
}

}  // namespace
