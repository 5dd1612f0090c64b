#include "notification.h"

#include <array>

#include <glib.h>

#include "fields.h"
#include "journal_entry.h"
#include "mdm/raii_glib.h"
#include "mdm/text.h"
#include "records.h"

namespace stockpeers {

namespace {

using namespace std::string_view_literals;

constexpr std::array<std::string_view, 3> kSeps = {R"(","content":")"sv, R"(","urgency":")"sv,
                                                   R"(","timeout":)"sv};

// A notification is read at a glance; what is longer is cut.
constexpr std::size_t kMaxSummary = 256;
constexpr std::size_t kMaxBody = 2048;

std::string escaped_markup(const std::string& text) {
    mdm::GCharPtr e(g_markup_escape_text(text.c_str(), static_cast<gssize>(text.size())));
    return e.get();
}

}  // namespace

std::uint8_t urgency_level(std::string_view urgency) {
    if (urgency == "0" || urgency == "low")
        return kUrgencyLow;
    if (urgency == "2" || urgency == "critical")
        return kUrgencyCritical;
    return kUrgencyNormal;
}

DesktopNotification parse_notification(std::string_view text) {
    DesktopNotification n;
    auto v = split_fixed(text, R"({"title":")", kSeps, "}");
    if (!v) {
        n.summary = mdm::printable(text, kMaxSummary);
        return n;
    }
    n.summary = mdm::printable((*v)[0], kMaxSummary);
    n.body = escaped_markup(mdm::printable((*v)[1], kMaxBody));
    n.urgency = urgency_level((*v)[2]);
    if (auto t = parse_int((*v)[3]))
        n.expire_timeout = *t < 0 ? -1 : *t;
    return n;
}

}  // namespace stockpeers
