#pragma once

#include <array>

// The initial items of the Command Inquiry list, in list order.
namespace res {

inline constexpr std::array<const char*, 6> kCommandListItems = {
    "C1-->Single Raw Temperature",   "C2-->Continuous Raw Temperature", "C3-->Single Raw Pressure",
    "C4-->Continuous Raw Presssure", "IN-->Stop Continuous Output",     "IN-->Reset Demo Interface",
};

}  // namespace res
