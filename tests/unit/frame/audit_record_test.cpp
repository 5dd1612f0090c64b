#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "mdm/frame/audit_record.h"
#include "mdm/frame/host_facts.h"

using mdm::frame::AuditFacts;
using mdm::frame::build_audit_record;

TEST(AuditRecord, FieldsInFrameOrderWithRecordName) {
    AuditFacts facts{"2026-03-01 08:05:09", "alice", "192.0.2.10"};
    EXPECT_EQ(build_audit_record("netcard-control", facts, "开启网卡管控"),
              "{'time':'2026-03-01 08:05:09','hostname':'alice','ip':'192.0.2.10',"
              "'name':'netcard-control','lv':'info','message':'开启网卡管控'}");
}

TEST(AuditRecord, ValuesGoInUnescaped) {
    // A quote, braces, commas or a placeholder-looking "{}" are carried verbatim; the
    // receiver takes the text as sent.
    AuditFacts facts{"2026-03-01 08:05:09", "o'neil{}", "unknown"};
    EXPECT_EQ(build_audit_record("storage-monitor", facts, "it's {} a,b\\n"),
              "{'time':'2026-03-01 08:05:09','hostname':'o'neil{}','ip':'unknown',"
              "'name':'storage-monitor','lv':'info','message':'it's {} a,b\\n'}");
}

TEST(HostTime, ZeroPaddedTwentyFourHourLocalTime) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "UTC", 1);
    tzset();
    // 2026-03-01 08:05:09 UTC and an afternoon time, to see the 24-hour clock.
    EXPECT_EQ(mdm::frame::format_host_time(1772352309), "2026-03-01 08:05:09");
    EXPECT_EQ(mdm::frame::format_host_time(1772352309 + 10 * 3600), "2026-03-01 18:05:09");
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}
