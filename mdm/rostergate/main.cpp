// RosterGate: the black and white lists of USB devices over the system bus. This file binds
// the bus, syslog and the fixed paths to the list logic; the framework library is loaded by
// name before the core library, and a library that cannot be loaded stops the start.
#include <syslog.h>

#include <memory>

#include "mdm/bus_names.h"
#include "RosterGate_introspection.h"
#include "list_control.h"
#include "mdm/frame/service.h"
#include "tarvex/adapter.h"

namespace {

using mdm::VariantPtr;
using mdm::frame::Handler;
using mdm::frame::Service;
using rostergate::ListControl;
using rostergate::Pair;

constexpr const char* kFrameworkLibrary = "libtarvex_extend.so.0.0.0";

// The framework library (`libtarvex_extend`), loaded in the service object's construction and
// kept for the life of the process.
std::unique_ptr<mdm::tarvex::LoadedLibrary> framework;

ListControl lists_for(Service& service) {
    rostergate::Environment env;
    env.fns = &framework->functions();
    env.bank = rostergate::BankFiles(mdm::bank::kSystemRoot);
    env.log = [](const std::string& line) { syslog(LOG_INFO, "%s", line.c_str()); };
    env.audit = [&service](const std::string& message) { service.log_transmit(message); };
    return ListControl(std::move(env));
}

// "(as)" in its serialized form, built in one buffer: the strings one after the other, then
// the end offset of each, all offsets of the smallest width that can address the whole. A
// table of ten thousand entries then costs one allocation instead of one value per entry.
VariantPtr string_list_reply(const std::vector<std::string>& list) {
    std::size_t body = 0;
    for (const std::string& entry : list)
        body += entry.size() + 1;
    std::size_t width = 1;
    while (width < 8 && body + list.size() * width > (std::size_t{1} << (8 * width)) - 1)
        width *= 2;
    std::string data;
    data.reserve(body + list.size() * width);
    for (const std::string& entry : list)
        data.append(entry.c_str(), entry.size() + 1);
    std::size_t end = 0;
    for (const std::string& entry : list) {
        end += entry.size() + 1;
        for (std::size_t byte = 0; byte < width; ++byte)
            data.push_back(static_cast<char>((end >> (8 * byte)) & 0xff));
    }
    mdm::BytesPtr bytes(g_bytes_new(data.data(), data.size()));
    // Trusted: built right here in normal form, and list entries are hexadecimal texts that
    // never hold a zero byte. Untrusted, every access to an element would check it anew.
    GVariant* array = g_variant_new_from_bytes(G_VARIANT_TYPE("as"), bytes.get(), TRUE);
    return VariantPtr(g_variant_ref_sink(g_variant_new_tuple(&array, 1)));
}

Handler single(int (ListControl::*method)(const std::string&, const std::string&)) {
    return [method](Service& service, GVariant* args) {
        const char* pid = nullptr;
        const char* vid = nullptr;
        g_variant_get(args, "(&s&s)", &pid, &vid);
        ListControl lists = lists_for(service);
        return mdm::frame::int_reply((lists.*method)(pid, vid));
    };
}

Handler batch(int (ListControl::*method)(const std::vector<Pair>&, int)) {
    return [method](Service& service, GVariant* args) {
        VariantPtr array(g_variant_get_child_value(args, 0));
        gint32 len = 0;
        g_variant_get_child(args, 1, "i", &len);
        std::vector<Pair> pairs;
        pairs.reserve(g_variant_n_children(array.get()));
        GVariantIter iter;
        g_variant_iter_init(&iter, array.get());
        const char* pid = nullptr;
        const char* vid = nullptr;
        while (g_variant_iter_next(&iter, "(&s&s)", &pid, &vid))
            pairs.push_back({pid, vid});
        ListControl lists = lists_for(service);
        return mdm::frame::int_reply((lists.*method)(pairs, len));
    };
}

Handler plain(int (ListControl::*method)()) {
    return [method](Service& service, GVariant*) {
        ListControl lists = lists_for(service);
        return mdm::frame::int_reply((lists.*method)());
    };
}

Handler query(std::vector<std::string> (ListControl::*method)() const) {
    return [method](Service& service, GVariant*) {
        ListControl lists = lists_for(service);
        return string_list_reply((lists.*method)());
    };
}

}  // namespace

int main() {
    return mdm::frame::run_service({
        .bus_name = mdm::bus::kListControl.name,
        .introspection_xml = kIntrospectionXml,
        .record_name = "list-control",
        .audit_failure_text = "log message error",
        .handlers =
            {
                {"SetWhiteList", single(&ListControl::SetWhiteList)},
                {"SetWhiteListByBatch", batch(&ListControl::SetWhiteListByBatch)},
                {"DelWhiteListByBatch", batch(&ListControl::DelWhiteListByBatch)},
                {"GetWhiteList", query(&ListControl::GetWhiteList)},
                {"ClearWhiteList", plain(&ListControl::ClearWhiteList)},
                {"DelWhiteList", single(&ListControl::DelWhiteList)},
                {"SetBlackList", single(&ListControl::SetBlackList)},
                {"SetBlackListByBatch", batch(&ListControl::SetBlackListByBatch)},
                {"GetBlackList", query(&ListControl::GetBlackList)},
                {"ClearBlackList", plain(&ListControl::ClearBlackList)},
                {"DelBlackList", single(&ListControl::DelBlackList)},
            },
        .prepare =
            [] { framework = std::make_unique<mdm::tarvex::LoadedLibrary>(kFrameworkLibrary); },
    });
}
