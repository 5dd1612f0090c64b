// Notification texts into Notify arguments; the desktop user from a logind session.
#include <gtest/gtest.h>

#include "notification.h"
#include "session.h"

namespace {

using namespace stockpeers;

TEST(Notification, ThePlugMonitorsObjectGivesSummaryBodyUrgencyAndTimeout) {
    auto n = parse_notification(
        R"({"title":"检测到插入USB端口设备","content":"当前存储类处于启用状态","urgency":"1","timeout":9500})");
    EXPECT_EQ(n.summary, "检测到插入USB端口设备");
    EXPECT_EQ(n.body, "当前存储类处于启用状态");
    EXPECT_EQ(n.urgency, kUrgencyNormal);
    EXPECT_EQ(n.expire_timeout, 9500);

    n = parse_notification(
        "{\"title\":\"t\",\"content\":\"<b>&\n\",\"urgency\":\"2\",\"timeout\":-5}");
    EXPECT_EQ(n.body, "&lt;b&gt;&amp;\\x0a");
    EXPECT_EQ(n.urgency, kUrgencyCritical);
    EXPECT_EQ(n.expire_timeout, -1);

    n = parse_notification(R"({"title":"t","content":"c","urgency":"5","timeout":x})");
    EXPECT_EQ(n.urgency, kUrgencyNormal);  // read-only is news, not an alarm
    EXPECT_EQ(n.expire_timeout, -1);
    EXPECT_EQ(urgency_level("0"), kUrgencyLow);
    EXPECT_EQ(urgency_level("critical"), kUrgencyCritical);
}

TEST(Notification, AnyOtherTextIsShownAsItIs) {
    auto n = parse_notification("USB stick\tblocked");
    EXPECT_EQ(n.summary, "USB stick\\x09blocked");
    EXPECT_EQ(n.body, "");
    EXPECT_EQ(n.urgency, kUrgencyNormal);
    EXPECT_EQ(n.expire_timeout, -1);
    EXPECT_LE(parse_notification(std::string(100000, 'x')).summary.size(), 256u);
}

TEST(Session, OnlyAnActiveLocalGraphicalUserSessionNamesTheUser) {
    SessionFacts s{
        .active = true, .remote = false, .type = "wayland", .klass = "user", .name = "alice"};
    EXPECT_EQ(desktop_user(s), "alice");
    s.type = "x11";
    EXPECT_EQ(desktop_user(s), "alice");
    for (auto change :
         {+[](SessionFacts& f) { f.active = false; }, +[](SessionFacts& f) { f.remote = true; },
          +[](SessionFacts& f) { f.type = "tty"; },
          +[](SessionFacts& f) { f.klass = "greeter"; }}) {
        SessionFacts t = s;
        change(t);
        EXPECT_EQ(desktop_user(t), "");
    }
}

}  // namespace
