// The kit file (.kfg): the program's own document format, the only one it reads back.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/kit.h"

namespace kf {

// The whole Kit as the bytes of a kit file (Shift-JIS, CR LF line ends).
std::string WriteKitFile(const Kit& kit);

struct KitReadResult {
    enum Status { NotKitFile, RefusedVersion, Read };
    Status status = NotKitFile;
    int version = 0;
    // The first used entry of the Kit afterwards (set 1 first), for the grid's selection.
    std::optional<std::pair<int, int>> firstUsed;
};

// Reads kit file bytes into kit without resetting it first; nothing changes unless the
// result is Read. pump runs before each line so a window can repaint during a long read.
KitReadResult ReadKitFile(std::string_view bytes, Kit& kit, const std::function<void()>& pump = {});

// Message texts (UTF-8) for the caller to show.
extern const char* const kRefusedVersionText;  // "このﾊﾞｰｼﾞｮﾝでは扱えないﾌｧｲﾙです。"
extern const char* const kNotKitFileText;      // "Kitforge のﾌｧｲﾙではありません。"

std::optional<std::pair<int, int>> firstUsedEntry(const Kit& kit);

}  // namespace kf
