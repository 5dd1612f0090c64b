// What the demo's parts share: how a step is shown, how the demo fails, and the sections that
// each area adds in its own demo_<area>.cpp, called from main in order.
#pragma once

#include <string>

#include "mdmtest/support.h"

namespace demo {

inline constexpr const char* kReset = "\033[0m";
inline constexpr const char* kBold = "\033[1m";
inline constexpr const char* kDim = "\033[2m";

void step(const std::string& title);
void say(const std::string& text);
// Prints what went wrong, the daemon's output and the captured syslog, and exits 1.
[[noreturn]] void fail(const std::string& what, const mdmtest::Process* daemon = nullptr);
// `tarvexctl list`, one line each.
void show_framework();

// Sections added by the areas, each self-contained: it starts what it needs and leaves the
// running plug monitor alone unless it says otherwise.
// A stick mounted in the session, opened up by the running plug monitor (which sees `tb`).
void show_mounts(mdmtest::Testbed& tb);
// A stick black-listed over the bus with RosterGate, announced as disabled, then enabled again.
void show_list_control(const mdmtest::Peers& peers, mdmtest::Testbed& tb);
// Network cards off and on through NicGate; storage switched off as a class and back.
void show_device_classes(const mdmtest::Peers& peers, mdmtest::Testbed& tb);
// The stand-in peers stopped and the stock peers started: a plug in the journal and a desktop
// notification. Last: the stand-ins stay stopped.
void show_stock_peers(mdmtest::Peers& stand_ins, mdmtest::Testbed& tb,
                      const mdmtest::Process& plugwatch);
// The tables enforced through USB authorization: a black-listed stick deauthorized,
// authorized again by DelBlackList, and made read-only.
void show_enforcement(mdmtest::Testbed& tb);
}  // namespace demo
