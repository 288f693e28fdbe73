#include "model/preset_sets.h"

namespace kf {

int ReferenceTables::drumSetSetting(int item) const {
    if (item < 0 || item >= static_cast<int>(mapList.size())) return 256;
    const PresetDrumSet& s = sets[static_cast<size_t>(item)];
    return drumSetSettingOf(s.map, s.program);
}

}  // namespace kf
