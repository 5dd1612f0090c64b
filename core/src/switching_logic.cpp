// The decisions of the class switching operations and the record files, apart from udev, so
// they can be checked over plain descriptions of devices.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "mdm/files.h"
#include "mdm/raii.h"
#include "periphcore/bank.h"
#include "periphcore/lists.h"
#include "switching_logic.h"

namespace periphcore::switching {

bool acceptable_id(const char* id) {
    if (!id)
        return false;
    std::size_t len = std::strlen(id);
    return len > 0 && len <= kMaxIdLength;
}

std::optional<std::string> record_file_for(std::string_view interface_class) {
    if (interface_class == "03")
        return "/etc/mdm/disable-hid";
    if (interface_class == "08")
        return "/etc/mdm/disable-storage";
    if (interface_class == "0e")
        return "/etc/mdm/disable-video";
    if (interface_class == "net")
        return "/etc/mdm/disable-net";
    return std::nullopt;
}

std::optional<std::string> record_line(const char* product, const char* vendor) {
    if (!acceptable_id(product) || !acceptable_id(vendor))
        return std::nullopt;
    std::string line = std::string(product) + vendor + "\n";
    if (line.size() >= kRecordLineBuffer)
        return std::nullopt;
    return line;
}

mdm::UniqueFd open_record_file(const std::string& path, int how) {
    // Not following links, and not waiting on a FIFO planted in the file's place.
    mdm::UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | how, 0644));
    struct stat st {};
    if (fd && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        fd.reset();
    return fd;
}

bool append_record(const std::string& path, const char* product, const char* vendor) {
    auto line = record_line(product, vendor);
    if (!line)
        return false;
    mdm::UniqueFd fd = open_record_file(path, O_APPEND);
    // One write of the whole line, so concurrent appenders never interleave inside a line.
    return fd && mdm::write_full(fd.get(), line->data(), line->size()) ==
                     static_cast<ssize_t>(line->size());
}

namespace {

// Every operation needs the parent, the sub-class and both ids; real USB devices always have
// them, so an entry without them is not one to act on.
bool complete(const UsbEntry& e) {
    return e.has_parent && e.subclass && e.product && e.vendor &&
           acceptable_id(e.product->c_str()) && acceptable_id(e.vendor->c_str());
}

bool optical(const UsbEntry& e) {
    return *e.subclass == "02";
}

}  // namespace

Action disable_action(std::string_view interface_class, const UsbEntry& e, const Lookups& lists) {
    if (!complete(e))
        return Action::Leave;
    if (interface_class == "08") {
        if (optical(e))
            return Action::Leave;
        // An interface announcing itself this way ends the class-wide storage switch-off, as
        // the tools that rely on it have always seen it.
        if (e.interface && *e.interface == "Mass Storage")
            return Action::Stop;
        if (lists.bank_device(*e.product, *e.vendor))
            return Action::Leave;
    }
    if (lists.white_listed(*e.product, *e.vendor))
        return Action::Leave;
    return Action::SwitchOffAndRecord;
}

Action set_up_usb_action(const UsbEntry& e, const Lookups& lists) {
    if (!complete(e) || optical(e))
        return Action::Leave;
    if (lists.bank_device(*e.product, *e.vendor) || lists.white_listed(*e.product, *e.vendor))
        return Action::Leave;
    return Action::SwitchOn;
}

Action setup_storage_action(const UsbEntry& e) {
    return complete(e) ? Action::SwitchOn : Action::Leave;
}

Action readonly_action(const UsbEntry& e, const Lookups& lists) {
    if (!complete(e))
        return Action::Leave;
    if (lists.white_listed(*e.product, *e.vendor) || lists.bank_device(*e.product, *e.vendor))
        return Action::Leave;
    if (lists.black_listed(*e.product, *e.vendor))
        return Action::SwitchOff;
    return Action::RemountReadOnly;
}

Lookups system_lookups() {
    return {
        .white_listed =
            [](const std::string& p, const std::string& v) {
                return get_white_list(p.c_str(), v.c_str()) == 0;
            },
        .black_listed =
            [](const std::string& p, const std::string& v) {
                return get_black_list(p.c_str(), v.c_str()) == 0;
            },
        .bank_device =
            [](const std::string& p, const std::string& v) {
                return getBankDevType(p.c_str(), v.c_str()) != 4;
            },
    };
}

}  // namespace periphcore::switching
