// Any bytes as a song to embed a kit into: a refusal, or a song that reads back strictly and
// that an embed of the same kit again leaves byte for byte as it is.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "files/smf_reader.h"
#include "files/song_embed.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kf::Kit kit;
    kit.reset();
    kit.entry(1, 36).used = 1;
    const std::string_view song(reinterpret_cast<const char*>(data), size);
    std::string once;
    kf::EmbedReport r;
    try {
        once = kf::EmbedKit(song, kit, {}, &r);
    } catch (const kf::SmfError&) {
        return 0;
    }
    if (r.messages != 15 || r.first.tick > r.last.tick) std::abort();
    try {
        if (kf::EmbedKit(once, kit, {}, nullptr) != once) std::abort();
    } catch (const kf::SmfError&) {
        std::abort();
    }
    return 0;
}
