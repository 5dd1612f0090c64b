#include <gtest/gtest.h>

#include "mdm/frame/audit_record.h"

TEST(AuditRecord, FieldsInFrameOrderAndValuesUnescaped) {
    // A quote, braces, commas or a placeholder-looking "{}" are carried verbatim.
    mdm::frame::AuditFacts facts{"2026-03-01 08:05:09", "o'neil{}", "unknown"};
    EXPECT_EQ(mdm::frame::build_audit_record("storage-monitor", facts, "it's {} a,b"),
              "{'time':'2026-03-01 08:05:09','hostname':'o'neil{}','ip':'unknown',"
              "'name':'storage-monitor','lv':'info','message':'it's {} a,b'}");
}
