#include "hostile_args.h"

#include <climits>
#include <vector>

namespace robustness {

namespace {
// Few valid ids, so that entries meet across calls and services (a bank device in a list
// call); ids that are short, long or not hexadecimal, so calls also refuse.
const char* const kValidIds[] = {"c820", "0bda", "ABCD", "1234"};
const char* const kOddIds[] = {"12", "12345", "zzzz", "", "c8g0", "0x1f", "-001", "ffff", "0000"};
const char* const kTexts[] = {"",         "c8200bda",         "../../etc/shadow", "%s%s%n",
                              "/media/x", "/etc/mdm/bank/st", "ÿÿÿÿ名前",         "a\tb\nc"};
}  // namespace

std::string Hostile::text() {
    if (!in_huge_array_ && chance(1))
        return std::string(1 << 20, 'A');  // 1 MB
    if (chance(45))
        return kValidIds[pick(std::size(kValidIds))];
    if (chance(40))
        return kOddIds[pick(std::size(kOddIds))];
    return kTexts[pick(std::size(kTexts))];
}

gint32 Hostile::number() {
    static const gint32 kNumbers[] = {0, 1, 2, 3, 4, 5, -1, 7, 100, INT_MIN, INT_MAX, 100000};
    return kNumbers[pick(std::size(kNumbers))];
}

GVariant* Hostile::value(const GVariantType* type) {
    if (g_variant_type_equal(type, G_VARIANT_TYPE_STRING))
        return g_variant_new_string(text().c_str());
    if (g_variant_type_equal(type, G_VARIANT_TYPE_INT32))
        return g_variant_new_int32(number());
    if (g_variant_type_equal(type, G_VARIANT_TYPE_UINT32))
        return g_variant_new_uint32(static_cast<guint32>(number()));
    if (g_variant_type_equal(type, G_VARIANT_TYPE_BOOLEAN))
        return g_variant_new_boolean(chance(50));
    if (g_variant_type_is_array(type)) {
        const GVariantType* element = g_variant_type_element(type);
        std::size_t n = chance(1) ? 100000 : pick(6);
        GVariantBuilder b;
        g_variant_builder_init(&b, type);
        // A huge array repeats one element, so building it stays cheap; that element holds
        // no 1 MB text, or the message would be 100 GB.
        GVariant* same = nullptr;
        if (n > 100) {
            in_huge_array_ = true;
            same = g_variant_ref_sink(value(element));
            in_huge_array_ = false;
        }
        for (std::size_t i = 0; i < n; ++i)
            g_variant_builder_add_value(&b, same ? same : value(element));
        if (same)
            g_variant_unref(same);
        return g_variant_builder_end(&b);
    }
    if (g_variant_type_is_tuple(type)) {
        std::vector<GVariant*> items;
        for (const GVariantType* t = g_variant_type_first(type); t; t = g_variant_type_next(t))
            items.push_back(value(t));
        return g_variant_new_tuple(items.data(), items.size());
    }
    // Any other basic type this system does not use: its default value.
    return g_variant_new_string("");
}

GVariant* Hostile::wrong_tuple(const std::string& signature) {
    static const char* const kSignatures[] = {"()",   "(s)",       "(i)", "(ii)",  "(as)",
                                              "(ss)", "(iia(ss))", "(u)", "(sss)", "(a(ss))"};
    for (;;) {
        const char* s = kSignatures[pick(std::size(kSignatures))];
        if (s != signature) {
            GVariantType* t = g_variant_type_new(s);
            GVariant* v = value(t);
            g_variant_type_free(t);
            return v;
        }
    }
}

}  // namespace robustness
