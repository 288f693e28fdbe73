// Kits with every note in use, for the tests and benchmarks of whole-kit work.
#pragma once

#include "model/kit.h"

namespace kf::test {

// All 256 notes used, with values that differ from note to note (both effect types,
// effect sends of 0 and above, names with commas and blanks to clean).
Kit fullKit();

}  // namespace kf::test
