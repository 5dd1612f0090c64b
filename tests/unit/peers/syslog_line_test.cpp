#include <gtest/gtest.h>

#include "syslog_line.h"

namespace {

using logsink::syslog_line;

TEST(SyslogLine, HeaderWithIdentAndPidIsStripped) {
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 plugwatch[42]: init_policy start."),
              "6 init_policy start.");
    EXPECT_EQ(syslog_line("<31>Dec 17 01:02:03 plugwatch: logging\n"), "7 logging");
}

TEST(SyslogLine, HeaderWithoutIdentKeepsWholeMessage) {
    EXPECT_EQ(syslog_line("<11>Jan  1 00:00:00 Add USB log : x, status = 0\n"),
              "3 Add USB log : x, status = 0");
    // A bracketed tag inside the message is not an ident.
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 RosterGate: [RosterGate]: start"),
              "6 [RosterGate]: start");
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 [RosterGate]: start"), "6 [RosterGate]: start");
}

TEST(SyslogLine, SeverityIsTheLowThreeBitsOfPri) {
    EXPECT_EQ(syslog_line("<0>Dec  7 21:20:00 a: m"), "0 m");
    EXPECT_EQ(syslog_line("<191>Dec  7 21:20:00 a: m"), "7 m");
    EXPECT_EQ(syslog_line("<163>Dec  7 21:20:00 a: m"), "3 m");
}

TEST(SyslogLine, OnlyOneTrailingNewlineIsDroppedAndInnerOnesAreEscaped) {
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 a: connect_ostrelclient_bus\n\n"),
              "6 connect_ostrelclient_bus\\n");
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 a: one\ntwo"), "6 one\\ntwo");
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 a: "), "6 ");
}

TEST(SyslogLine, MalformedHeadersDoNotLoseText) {
    EXPECT_EQ(syslog_line("plain text"), "5 plain text");
    EXPECT_EQ(syslog_line("<x>Dec  7 21:20:00 a: m"), "5 <x>Dec  7 21:20:00 a: m");
    EXPECT_EQ(syslog_line("<1234>m"), "5 <1234>m");
    EXPECT_EQ(syslog_line("<14"), "5 <14");
    EXPECT_EQ(syslog_line(""), "5 ");
    // Valid priority, no timestamp: the rest is the message.
    EXPECT_EQ(syslog_line("<14>hello: there"), "6 hello: there");
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 a[x]: m"), "6 a[x]: m");
}

}  // namespace
