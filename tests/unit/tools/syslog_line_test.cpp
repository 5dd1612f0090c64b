#include <gtest/gtest.h>

#include "syslog_line.h"

namespace {

using logsink::syslog_line;

TEST(SyslogLine, HeaderIsStrippedAndSeverityKept) {
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 plugwatch[42]: init_policy start."),
              "6 init_policy start.");
    EXPECT_EQ(syslog_line("<163>Dec 17 01:02:03 plugwatch: logging\n"), "3 logging");
    // No ident: a bracketed tag inside the message stays.
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 [RosterGate]: start"), "6 [RosterGate]: start");
    // One trailing line feed goes; inner ones are written as "\n".
    EXPECT_EQ(syslog_line("<14>Dec  7 21:20:00 a: one\ntwo\n\n"), "6 one\\ntwo\\n");
}

TEST(SyslogLine, MalformedHeadersDoNotLoseText) {
    EXPECT_EQ(syslog_line("plain text"), "5 plain text");
    EXPECT_EQ(syslog_line("<1234>m"), "5 <1234>m");
    EXPECT_EQ(syslog_line("<14"), "5 <14");
    EXPECT_EQ(syslog_line(""), "5 ");
    EXPECT_EQ(syslog_line("<14>hello: there"), "6 hello: there");
}

}  // namespace
