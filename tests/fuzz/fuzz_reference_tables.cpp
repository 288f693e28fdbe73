// Any bytes as one of the two reference files, a small sample as the other: no crash, and the
// tables keep their shape. FUZZ_DRUM_SET picks which file the input stands for. The partner is
// small so that the time goes into reading the input, not into the shipped tables.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "files/reference_tables.h"

namespace {
std::string sample(const char* name) {
    std::ifstream in(std::string(KITFORGE_FUZZ_EXAMPLES) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string sets = sample("drum_set/head.csv");
    static const std::string insts = sample("drum_inst/part.csv");
    const std::string input(reinterpret_cast<const char*>(data), size);
    int useMap = size ? data[0] % 4 : 1;
#ifdef FUZZ_DRUM_SET
    const kf::ReferenceTables t = kf::buildReferenceTables(input, insts, useMap, 256);
#else
    const kf::ReferenceTables t = kf::buildReferenceTables(sets, input, useMap, 256);
#endif
    if (t.sets.size() > 256 || t.mapList.size() > t.sets.size() || useMap < 0 || useMap > 2) std::abort();
    if (!t.mapList.empty() && (t.selectedItem < 0 || t.selectedItem >= static_cast<int>(t.mapList.size())))
        std::abort();
    for (size_t i = 0; i < t.sets.size(); ++i) {
        const bool listed = i < t.mapList.size();
        if (t.sets[i].hasInstruments != listed) std::abort();
        if (i > 0 && t.sets[i - 1].map > t.sets[i].map) std::abort();
    }
    return 0;
}
