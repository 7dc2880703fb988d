#include "common/numeric.h"

#include <cmath>
#include <limits>

namespace tl {

int roundHalfEven(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    double r = std::floor(value);
    const double diff = value - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) {
        r += 1.0;
    }
    // Out-of-range values saturate instead of being undefined behaviour.
    if (r >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (r <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(r);
}

} // namespace tl
