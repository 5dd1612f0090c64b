// The exported bank device operations: the logic of bank_files/bank_ops bound to
// /etc/mdm/bank and to the linked security framework.
#include "periphcore/bank.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bank_files.h"
#include "bankingdevctl-gen.h"
#include "mdm/bus_names.h"
#include "mdm/raii_glib.h"
#include "tarvex/linked.h"

namespace {

namespace bank = periphcore::bank;

const bank::BankPaths& paths() {
    static const bank::BankPaths p(mdm::bank::kSystemRoot);
    return p;
}

const mdm::tarvex::Functions& framework() {
    static const mdm::tarvex::Functions fns = mdm::tarvex::linked_functions();
    return fns;
}

// The array handed out: malloc'd texts in a malloc'd array, as C callers free them.
char** to_c_array(const std::vector<std::string>& entries) {
    if (entries.empty())
        return nullptr;
    auto array = static_cast<char**>(std::calloc(entries.size(), sizeof(char*)));
    if (!array)
        return nullptr;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        array[i] = strdup(entries[i].c_str());
        if (!array[i]) {
            for (std::size_t j = 0; j < i; ++j)
                std::free(array[j]);
            std::free(array);
            return nullptr;
        }
    }
    return array;
}

template <class Op>
int change_list(int type, int count, char* const* entries, Op op) {
    if (!bank::type_name(type))
        return -1;
    if (!entries)
        return count == 0 ? 0 : -1;
    return op(paths(), framework(), type, bank::normalise_input(entries, count));
}

}  // namespace

extern "C" {

int getBankDevType(const char* product, const char* vendor) {
    try {
        return bank::device_type(paths(), product, vendor);
    } catch (...) {
        return bank::kNotBank;
    }
}

char** getBankDevList(int type, int* count) {
    if (!count)
        return nullptr;
    *count = 0;
    try {
        if (!bank::type_name(type))
            return nullptr;
        auto entries = bank::read_list(paths().devlist(type));
        if (!entries)
            return nullptr;
        char** array = to_c_array(*entries);
        if (array)
            *count = static_cast<int>(entries->size());
        return array;
    } catch (...) {
        return nullptr;
    }
}

int getBankDevStatus(int type) {
    try {
        return bank::get_status(paths(), type);
    } catch (...) {
        return -1;
    }
}

int setBankDevStatus(int type, int status) {
    try {
        return bank::set_status(paths(), framework(), type, status);
    } catch (...) {
        return -1;
    }
}

int setBankDevList(int type, int count, char* const* entries) {
    try {
        return change_list(type, count, entries, bank::set_list);
    } catch (...) {
        return -1;
    }
}

int delBankDevList(int type, int count, char* const* entries) {
    try {
        return change_list(type, count, entries, bank::del_list);
    } catch (...) {
        return -1;
    }
}

int updateDevAction(const char* action) {
    if (!action)
        return -1;
    mdm::GErrorSlot err;
    mdm::GObjectPtr<Bankingdevctl> proxy(bankingdevctl_proxy_new_for_bus_sync(
        G_BUS_TYPE_SYSTEM, G_DBUS_PROXY_FLAGS_NONE, mdm::bus::kBank.name, mdm::bus::kBank.path,
        nullptr, err.out()));
    gint reply = -1;
    if (!proxy ||
        !bankingdevctl_call_update_action_sync(proxy.get(), action, &reply, nullptr, err.out())) {
        std::printf("%s\n", err.message());
        return -1;
    }
    return reply;
}

}  // extern "C"
