// Hostile arguments for a bus method, built from its introspected signature.
#pragma once

#include <random>
#include <string>

#include <glib.h>

namespace robustness {

class Hostile {
  public:
    explicit Hostile(unsigned seed) : rng_(seed) {}

    // A value of `type`: empty, huge, non-hexadecimal or path-like texts, extreme integers,
    // empty, short and (rarely) 100,000-element arrays. Floating reference.
    GVariant* value(const GVariantType* type);
    // A tuple whose signature differs from `signature`.
    GVariant* wrong_tuple(const std::string& signature);
    std::string text();
    gint32 number();
    bool chance(int percent) { return pick(100) < static_cast<std::size_t>(percent); }
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }

  private:
    std::mt19937 rng_;
    bool in_huge_array_ = false;
};

}  // namespace robustness
