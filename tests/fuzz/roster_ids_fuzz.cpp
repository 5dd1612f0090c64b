// The list service's id texts: conversion for a record field, the removal entry cut from a
// joined text, and the bank white list's checks.
#include <cstdlib>

#include "bank_whitelist.h"
#include "fuzz_input.h"
#include "list_control.h"
#include "mdm/usb_id.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    try {
        uint32_t id = rostergate::convert_id(text);
        (void)id;
    } catch (const std::exception&) {
        // A refused id is answered as a request error.
    }
    try {
        tarvex_devctl_info entry = rostergate::removal_entry(text);
        std::string back = rostergate::entry_text(entry);
        if (back.size() < 8)
            std::abort();
    } catch (const std::exception&) {
    }
    auto parsed = mdm::parse_strtoul_hex32(text);
    if (parsed && !mdm::parse_strtoul_hex(text))
        std::abort();
    rostergate::to_lower(text);
    return 0;
}
