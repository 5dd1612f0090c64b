#include "store_format.h"

#include <cstring>

// Layout, native byte order:
//   "TVXSTORE" | u32 version | u32 device count | u32 class count
//   entries: i32 type, i32 usb_subtype, u32 pid, u32 vid, i32 perm, i32 oldperm,
//            i32 special_type, u16 serial length, serial bytes, u16 name length, name bytes
//   u64 FNV-1a of everything before it
// Texts are stored by length so a full table stays small enough to rewrite on every change.

namespace tarvex_standin {

namespace {

constexpr std::string_view kMagic = "TVXSTORE";
constexpr uint32_t kVersion = 1;

uint64_t fnv1a(std::string_view data) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : data) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

template <class T>
void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void put_text(std::string& out, const char* field, size_t width) {
    auto len = static_cast<uint16_t>(strnlen(field, width - 1));
    put(out, len);
    out.append(field, len);
}

void put_entry(std::string& out, const tarvex_devctl_info& e) {
    put(out, e.type);
    put(out, e.usb_subtype);
    put(out, e.pid);
    put(out, e.vid);
    put(out, e.perm);
    put(out, e.oldperm);
    put(out, e.special_type);
    put_text(out, e.serial, sizeof e.serial);
    put_text(out, e.displayname, sizeof e.displayname);
}

class Reader {
  public:
    explicit Reader(std::string_view data) : data_(data) {}

    template <class T>
    bool get(T& value) {
        if (data_.size() < sizeof value)
            return false;
        std::memcpy(&value, data_.data(), sizeof value);
        data_.remove_prefix(sizeof value);
        return true;
    }

    // Leaves the field zero-filled past the text, as writers hand records over.
    bool get_text(char* field, size_t width) {
        uint16_t len = 0;
        if (!get(len) || len >= width || data_.size() < len)
            return false;
        std::memcpy(field, data_.data(), len);
        data_.remove_prefix(len);
        return true;
    }

    bool get_entry(tarvex_devctl_info& e) {
        e = tarvex_devctl_info{};
        return get(e.type) && get(e.usb_subtype) && get(e.pid) && get(e.vid) && get(e.perm) &&
               get(e.oldperm) && get(e.special_type) && get_text(e.serial, sizeof e.serial) &&
               get_text(e.displayname, sizeof e.displayname);
    }

    bool done() const { return data_.empty(); }

  private:
    std::string_view data_;
};

bool get_table(Reader& in, uint32_t count, std::vector<tarvex_devctl_info>& table, bool devices) {
    for (uint32_t i = 0; i < count; ++i) {
        tarvex_devctl_info e;
        if (!in.get_entry(e) || is_device_entry(e) != devices)
            return false;
        table.push_back(e);
    }
    return true;
}

}  // namespace

std::string encode_tables(const Tables& t) {
    std::string out(kMagic);
    put(out, kVersion);
    put(out, static_cast<uint32_t>(t.devices.size()));
    put(out, static_cast<uint32_t>(t.classes.size()));
    for (const auto& e : t.devices)
        put_entry(out, e);
    for (const auto& e : t.classes)
        put_entry(out, e);
    put(out, fnv1a(out));
    return out;
}

std::optional<Tables> decode_tables(std::string_view image) {
    constexpr size_t kSumSize = sizeof(uint64_t);
    if (image.size() < kMagic.size() + kSumSize || !image.starts_with(kMagic))
        return {};
    std::string_view body = image.substr(0, image.size() - kSumSize);
    uint64_t sum = 0;
    std::memcpy(&sum, image.data() + body.size(), kSumSize);
    if (sum != fnv1a(body))
        return {};

    Reader in(body.substr(kMagic.size()));
    uint32_t version = 0, devices = 0, classes = 0;
    if (!in.get(version) || version != kVersion || !in.get(devices) || !in.get(classes))
        return {};
    Tables t;
    if (!get_table(in, devices, t.devices, true) || !get_table(in, classes, t.classes, false) ||
        !in.done()) {
        return {};
    }
    return t;
}

}  // namespace tarvex_standin
