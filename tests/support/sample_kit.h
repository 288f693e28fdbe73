// Kits with every note in use, for the tests and benchmarks of whole-kit work.
#pragma once

#include "model/kit.h"

namespace kf::test {

// All 256 notes used, with values that differ from note to note (both effect types,
// effect sends of 0 and above, names with commas and blanks to clean).
Kit fullKit();

}  // namespace kf::test

namespace kf {
struct ReferenceTables;
}

namespace kf::test {

// The reference tables the program ships, every map, loaded once.
const ReferenceTables& shippedTables();

// usedPerSet notes of each set (spread over the set) made of instruments the tables know, as
// entering them would, then given values of their own; the rest unused.
Kit tableKit(const ReferenceTables& tables, int usedPerSet, unsigned seed);

}  // namespace kf::test
