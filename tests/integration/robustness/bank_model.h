// What bankguard's answers must be, from a model of its list and status files.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <glib.h>

namespace robustness {

class BankModel {
  public:
    // The expected answer of a well-typed call (null reply answers nothing to compare), or
    // nullopt when the method is not modelled. Updates the model.
    std::optional<GVariant*> expect(const std::string& method, GVariant* args);
    const std::vector<std::string>& list(int type) const { return lists_.at(type); }

  private:
    static std::vector<std::string> checked(GVariant* pairs);
    std::array<std::vector<std::string>, 4> lists_;
    std::array<int, 4> status_ = {1, 1, 1, 1};
};

}  // namespace robustness
