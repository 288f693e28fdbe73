#include "files/song_embed.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <numeric>
#include <optional>

#include "files/kit_library.h"
#include "gs/device_commands.h"
#include "gs/dt1.h"
#include "midi/midi_bytes.h"
#include "midi/send_queue.h"

namespace kf {

namespace {

constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaTimeSignature = 0x58;
constexpr std::uint8_t kMetaLyric = 0x05;
constexpr std::uint8_t kMetaMarker = 0x06;
constexpr std::uint8_t kMetaCuePoint = 0x07;
constexpr std::uint64_t kDefaultTempo = 500000;  // microseconds a quarter note: 120 beats a minute
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
// GM's settle time is not published apart from Roland's for its own reset; the same is asked.
constexpr std::chrono::microseconds kGmSettle = std::chrono::milliseconds(50);

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0); }

const std::uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// The times below are in microseconds times the division: a tick at tempo T (microseconds a
// quarter note) lasts T / division microseconds, so in these units every tick's length is the
// whole number T and no time is ever rounded. 2^31 ticks at the largest tempo (2^24) stay
// below 2^55.
class TempoMap {
public:
    TempoMap(std::uint64_t division, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& changes)
        : division_(division) {
        points_.push_back({0, kDefaultTempo, 0});
        for (const auto& [tick, tempo] : changes) {
            Point& back = points_.back();
            if (tick == back.tick) {
                back.tempo = tempo;
                continue;
            }
            points_.push_back({tick, tempo, back.time + (tick - back.tick) * back.tempo});
        }
    }

    std::uint64_t timeAt(std::uint64_t tick) const {
        const Point& p = pointAt(tick);
        return p.time + (tick - p.tick) * p.tempo;
    }
    std::uint64_t tempoAt(std::uint64_t tick) const { return pointAt(tick).tempo; }
    // The first tick at or after the time: rounded up, so a wait is never shorter than asked.
    std::uint64_t tickAtOrAfter(std::uint64_t time) const {
        for (std::size_t i = 0; i < points_.size(); ++i) {
            const Point& p = points_[i];
            if (time <= p.time) return p.tick;
            const std::uint64_t tick = p.tick + ceilDiv(time - p.time, p.tempo);
            if (i + 1 == points_.size() || tick <= points_[i + 1].tick) return tick;
        }
        return points_.back().tick;  // not reached: the last tempo runs on for ever
    }
    // Microseconds and milliseconds in these units.
    std::uint64_t units(std::chrono::microseconds us) const {
        return static_cast<std::uint64_t>(us.count()) * division_;
    }
    double ms(std::uint64_t time) const { return static_cast<double>(time) / static_cast<double>(division_) / 1000.0; }

private:
    struct Point {
        std::uint64_t tick, tempo, time;
    };
    const Point& pointAt(std::uint64_t tick) const {
        auto it = std::upper_bound(points_.begin(), points_.end(), tick,
                                   [](std::uint64_t t, const Point& p) { return t < p.tick; });
        return *(it - 1);
    }
    std::uint64_t division_;
    std::vector<Point> points_;
};

// Bars as the time signatures lay them: a bar of nn/2^dd is nn * 4 * division / 2^dd ticks, a
// fraction where the division does not divide evenly, so it is kept as numerator/denominator.
class Meter {
public:
    struct Signature {
        std::uint64_t tick, num, den;
    };
    Meter(std::uint64_t division, std::vector<Signature> changes) {
        signatures_.push_back({0, 4 * 4 * division, 4});
        for (const Signature& s : changes) {
            if (s.tick == signatures_.back().tick)
                signatures_.back() = s;
            else
                signatures_.push_back(s);
        }
    }
    const Signature& at(std::uint64_t tick) const {
        auto it = std::upper_bound(signatures_.begin(), signatures_.end(), tick,
                                   [](std::uint64_t t, const Signature& s) { return t < s.tick; });
        return *(it - 1);
    }
    // From 1; a signature that changes inside a bar starts a new one.
    std::uint64_t measureAt(std::uint64_t tick) const {
        std::uint64_t bars = 0;
        for (std::size_t i = 0; i < signatures_.size(); ++i) {
            const Signature& s = signatures_[i];
            const std::uint64_t next = i + 1 < signatures_.size() ? signatures_[i + 1].tick : kNever;
            if (next <= tick) {
                bars += ceilDiv((next - s.tick) * s.den, s.num);
                continue;
            }
            return bars + (tick - s.tick) * s.den / s.num + 1;
        }
        return bars + 1;
    }

private:
    std::vector<Signature> signatures_;
};

struct Ref {
    std::size_t track, index;
};

bool isUserDrumMessage(const std::string& m) {
    if (forEachDt1Byte(bytesOf(m), m.size(), [](unsigned, std::uint8_t) {}) == Dt1Status::NotDt1) return false;
    const unsigned start =
        (unsigned(std::uint8_t(m[5])) << 14) | (unsigned(std::uint8_t(m[6])) << 7) | std::uint8_t(m[7]);
    return userDrumAt(start).has_value();
}

// What a message that reinitialises the module is called and how long it needs; none for
// any other message.
struct Reset {
    EmbedReport::Reset kind;
    std::chrono::microseconds settle;
};
std::optional<Reset> resetOf(const std::string& m) {
    const std::uint8_t* b = bytesOf(m);
    // F0 7E dev 09 01 F7 (GM system on) and 09 03 (GM2's)
    if (m.size() == 6 && b[0] == midi::kSysEx && b[1] == 0x7E && b[3] == 0x09 && (b[4] == 0x01 || b[4] == 0x03) &&
        b[5] == midi::kEndOfSysEx)
        return Reset{b[4] == 0x01 ? EmbedReport::GmSystemOn : EmbedReport::Gm2SystemOn, kGmSettle};
    const auto settle = settleTime(b, m.size());
    if (settle.count() == 0) return std::nullopt;
    return Reset{b[5] == 0x40   ? EmbedReport::GsReset
                 : b[7] == 0x7F ? EmbedReport::SystemMode
                                : EmbedReport::AllPartsMap,
                 settle};
}

SmfEvent sysexEvent(const MidiBytes& m, std::uint64_t tick) {
    SmfEvent e;
    e.tick = tick;
    e.status = midi::kSysEx;
    e.inserted = true;
    std::uint64_t n = m.size() - 1;
    char lengthBytes[5];
    int k = 0;
    lengthBytes[k++] = static_cast<char>(n & 0x7F);
    while (n >>= 7) lengthBytes[k++] = static_cast<char>(0x80 | (n & 0x7F));
    while (k) e.body.push_back(lengthBytes[--k]);
    e.body.append(m.begin() + 1, m.end());
    return e;
}

std::chrono::microseconds wireOf(std::size_t bytes) { return kWireTimePerByte * static_cast<long>(bytes); }

class Embedder {
public:
    Embedder(const SmfFile& song, const EmbedOptions& o) : song_(song), o_(o) {
        for (std::size_t c : song.tracks) tracks_.push_back(song.chunks[c].events);
        if (tracks_.empty()) throw SmfError("the song has no track", 10);
        removed_.resize(tracks_.size());
        position_.resize(tracks_.size());
        for (std::size_t t = 0; t < tracks_.size(); ++t) {
            removed_[t].assign(tracks_[t].size(), false);
            position_[t].resize(tracks_[t].size());
            for (std::size_t i = 0; i < tracks_[t].size(); ++i) order_.push_back({t, i});
        }
        std::stable_sort(order_.begin(), order_.end(),
                         [this](const Ref& a, const Ref& b) { return event(a).tick < event(b).tick; });
        for (std::size_t p = 0; p < order_.size(); ++p) position_[order_[p].track][order_[p].index] = p;
    }

    std::string run(const Kit& kit, EmbedReport& r) {
        const std::size_t target = targetTrack();
        r.format = song_.format;
        r.tracks = static_cast<int>(tracks_.size());
        r.division = song_.division;
        r.track = static_cast<int>(target);

        // The user drum set messages the song carries, wherever they are.
        for (const Ref& ref : order_) {
            const SmfEvent& e = event(ref);
            if (e.status == midi::kSysEx && isUserDrumMessage(e.wireBytes())) {
                ++r.userDrumFound;
                removed_[ref.track][ref.index] = !o_.keepUserDrum;
            }
        }

        // The opening: everything before the first channel event.
        std::size_t split = firstWhere([](const SmfEvent& e) { return e.isChannel(); });
        std::optional<std::size_t> anchor;
        const std::string rhythmPart(rhythmPart11Message().begin(), rhythmPart11Message().end());
        for (std::size_t p = 0; p < split; ++p) {
            const SmfEvent& e = event(order_[p]);
            if (removed(order_[p]) || e.status != midi::kSysEx) continue;
            const std::string wire = e.wireBytes();
            // A copy of the rhythm-part message the set-up brings goes with the messages it replaces.
            if (wire == rhythmPart) {
                ++r.userDrumFound;
                removed_[order_[p].track][order_[p].index] = !o_.keepUserDrum;
            } else if (resetOf(wire)) {
                anchor = p;
            }
        }
        r.userDrumKept = o_.keepUserDrum && r.userDrumFound > 0;
        // A reset of our own goes first; then the song's own set-up, if it has any, comes after the kit.
        const bool addReset = o_.addReset && !anchor;
        if (addReset) split = firstWhere([](const SmfEvent& e) { return e.isChannel() || e.isSysex(); });

        markKept(split);
        const TempoMap tempo(static_cast<std::uint64_t>(song_.division), keptTempos());
        const Meter meter(static_cast<std::uint64_t>(song_.division), keptSignatures());

        // The earliest moment: every message of the opening has had its time on the line and
        // the gap after it, and the module has settled after a reset.
        const std::chrono::microseconds gap = std::chrono::milliseconds(o_.gapMs);
        auto spacing = [&](std::size_t bytes) { return std::max(gap, wireOf(bytes)); };
        auto after = [&](std::size_t bytes, std::chrono::microseconds settle) {
            return std::max(spacing(bytes), wireOf(bytes) + settle);
        };
        std::uint64_t earliest = 0;
        std::uint64_t resetTime = 0;
        std::vector<SmfEvent> added;
        if (addReset) {
            const MidiBytes& reset = gsResetMessage();
            added.push_back(sysexEvent(reset, 0));
            earliest = tempo.units(after(reset.size(), settleTime(reset)));
            r.reset = EmbedReport::GsReset;
            r.resetAdded = true;
        }
        for (std::size_t p = 0; p < split; ++p) {
            const SmfEvent& e = event(order_[p]);
            if (removed(order_[p]) || !e.isSysex()) continue;
            const std::string wire = e.wireBytes();
            if (wire.empty()) continue;  // an escape of nothing puts nothing on the line
            const auto reset = p == anchor ? resetOf(wire) : std::nullopt;
            const std::uint64_t start = tempo.timeAt(e.tick);
            earliest = std::max(earliest,
                                start + tempo.units(reset ? after(wire.size(), reset->settle) : spacing(wire.size())));
            if (reset) {
                r.reset = reset->kind;
                resetTime = start;
                r.resetAt = place(tempo, meter, e.tick);
            }
        }

        // The set-up, each message as early as the one before allows.
        const std::vector<MidiBytes> messages = kitLoadMessages(kit);
        std::uint64_t next = earliest, firstTime = 0, lastTime = 0;
        std::uint64_t smallest = kNever;
        for (std::size_t i = 0; i < messages.size(); ++i) {
            const std::uint64_t tick = tempo.tickAtOrAfter(next);
            const std::uint64_t time = tempo.timeAt(tick);
            if (i == 0)
                firstTime = time;
            else
                smallest = std::min(smallest, time - lastTime);
            lastTime = time;
            next = time + tempo.units(spacing(messages[i].size()));
            added.push_back(sysexEvent(messages[i], tick));
        }
        const std::uint64_t end = next;
        r.messages = static_cast<int>(added.size());
        r.first = place(tempo, meter, added[addReset ? 1 : 0].tick);
        r.last = place(tempo, meter, added.back().tick);
        r.seconds = tempo.ms(end - firstTime) / 1000.0;
        if (smallest != kNever) r.smallestGapMs = tempo.ms(smallest);
        if (r.reset != EmbedReport::None) r.resetGapMs = tempo.ms(firstTime - resetTime);

        // Where the song goes on: as it was if there is room, else later by whole measures.
        std::uint64_t shift = 0;
        if (split < order_.size()) {
            const std::uint64_t from = event(order_[split]).tick;
            if (tempo.timeAt(from) < end) {
                shift = wholeMeasures(meter.at(from), tempo.tickAtOrAfter(end) - from);
                r.movedTicks = shift;
                r.movedMeasures = shift * meter.at(from).den / meter.at(from).num;
                r.movedMs = tempo.ms(tempo.timeAt(from + shift) - tempo.timeAt(from));
            }
            r.gapToSongMs = tempo.ms(tempo.timeAt(from + shift) - lastTime);
        }
        return write(target, std::move(added), shift);
    }

private:
    const SmfEvent& event(const Ref& r) const { return tracks_[r.track][r.index]; }
    bool removed(const Ref& r) const { return removed_[r.track][r.index]; }

    template <class Pred>
    std::size_t firstWhere(Pred pred) const {
        for (std::size_t p = 0; p < order_.size(); ++p)
            if (!removed(order_[p]) && pred(event(order_[p]))) return p;
        return order_.size();
    }

    // Format 1: the first track that carries SysEx, else the first with tempo or time
    // signatures (the conductor track), else the first.
    std::size_t targetTrack() const {
        auto first = [&](auto pred) -> std::optional<std::size_t> {
            for (std::size_t t = 0; t < tracks_.size(); ++t)
                if (std::any_of(tracks_[t].begin(), tracks_[t].end(), pred)) return t;
            return std::nullopt;
        };
        if (auto t = first([](const SmfEvent& e) { return e.isSysex(); })) return *t;
        if (auto t = first([](const SmfEvent& e) {
                return e.isMeta() && (e.metaType() == kMetaTempo || e.metaType() == kMetaTimeSignature);
            }))
            return *t;
        return 0;
    }

    // What stays where it is when the song moves: in each track, the run of events from its
    // start that belong to the opening, or are meta events at tick 0 (names, tempo, time and
    // key signature) other than those that mark a moment of the music (lyrics, markers, cue
    // points). Each track keeps its order, so the run ends at the first event that moves.
    void markKept(std::size_t split) {
        kept_.resize(tracks_.size());
        for (std::size_t t = 0; t < tracks_.size(); ++t) {
            kept_[t].assign(tracks_[t].size(), false);
            for (std::size_t i = 0; i < tracks_[t].size(); ++i) {
                const SmfEvent& e = tracks_[t][i];
                const bool stays = removed_[t][i] || position_[t][i] < split ||
                                   (e.tick == 0 && e.isMeta() && e.metaType() != kMetaLyric &&
                                    e.metaType() != kMetaMarker && e.metaType() != kMetaCuePoint);
                if (!stays) break;
                kept_[t][i] = true;
            }
        }
    }

    std::vector<std::pair<std::uint64_t, std::uint64_t>> keptTempos() const {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> changes;
        for (const Ref& ref : order_) {
            const SmfEvent& e = event(ref);
            if (!kept_[ref.track][ref.index] || !e.isMeta() || e.metaType() != kMetaTempo) continue;
            const std::string_view d = e.data();
            if (d.size() < 3) throw SmfError("a tempo event of " + std::to_string(d.size()) + " bytes", e.offset);
            const std::uint64_t t = (std::uint64_t(std::uint8_t(d[0])) << 16) |
                                    (std::uint64_t(std::uint8_t(d[1])) << 8) | std::uint8_t(d[2]);
            if (t == 0) throw SmfError("a tempo of 0 microseconds a quarter note", e.offset);
            changes.emplace_back(e.tick, t);
        }
        return changes;
    }

    std::vector<Meter::Signature> keptSignatures() const {
        std::vector<Meter::Signature> changes;
        for (const Ref& ref : order_) {
            const SmfEvent& e = event(ref);
            if (!kept_[ref.track][ref.index] || !e.isMeta() || e.metaType() != kMetaTimeSignature) continue;
            const std::string_view d = e.data();
            if (d.size() < 2) throw SmfError("a time signature of " + std::to_string(d.size()) + " bytes", e.offset);
            const unsigned nn = std::uint8_t(d[0]), dd = std::uint8_t(d[1]);
            if (nn == 0 || dd > 30)
                throw SmfError("a time signature of " + std::to_string(nn) + "/2^" + std::to_string(dd), e.offset);
            changes.push_back(
                {e.tick, std::uint64_t(nn) * 4 * static_cast<std::uint64_t>(song_.division), std::uint64_t(1) << dd});
        }
        return changes;
    }

    SongPlace place(const TempoMap& tempo, const Meter& meter, std::uint64_t tick) const {
        return {tick, meter.measureAt(tick), tempo.ms(tempo.timeAt(tick))};
    }

    // The fewest whole bars of s that reach at least `ticks` and are a whole number of ticks.
    static std::uint64_t wholeMeasures(const Meter::Signature& s, std::uint64_t ticks) {
        const std::uint64_t step = s.den / std::gcd(s.num, s.den);  // bars that make whole ticks
        std::uint64_t bars = std::max<std::uint64_t>(1, ceilDiv(ticks * s.den, s.num));
        bars = ceilDiv(bars, step) * step;
        return bars * s.num / s.den;
    }

    std::string write(std::size_t target, std::vector<SmfEvent> added, std::uint64_t shift) {
        std::string out = song_.header;
        std::size_t t = 0;
        for (const SmfChunk& chunk : song_.chunks) {
            if (chunk.type != "MTrk") {
                out += chunk.raw;
                continue;
            }
            const std::vector<SmfEvent>& events = tracks_[t];
            bool changed = t == target;
            std::vector<SmfEvent> kept, rest;
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (removed_[t][i]) {
                    changed = true;
                    continue;
                }
                if (kept_[t][i]) {
                    kept.push_back(events[i]);
                    continue;
                }
                rest.push_back(events[i]);
                if (shift) {
                    rest.back().tick += shift;
                    changed = true;
                }
            }
            if (!changed) {
                out += chunk.raw;
            } else {
                if (t == target) kept = merged(std::move(kept), std::move(added));
                kept.insert(kept.end(), rest.begin(), rest.end());
                out += writeTrack(kept);
            }
            ++t;
        }
        return out;
    }

    // The set-up among the kept events by time, after those of the same tick; the end of the
    // track, if it was among them, after the set-up.
    static std::vector<SmfEvent> merged(std::vector<SmfEvent> kept, std::vector<SmfEvent> added) {
        std::optional<SmfEvent> end;
        if (!kept.empty() && kept.back().isEndOfTrack()) {
            end = kept.back();
            kept.pop_back();
        }
        std::vector<SmfEvent> out;
        out.reserve(kept.size() + added.size() + 1);
        std::merge(kept.begin(), kept.end(), added.begin(), added.end(), std::back_inserter(out),
                   [](const SmfEvent& a, const SmfEvent& b) { return a.tick < b.tick; });
        if (end) {
            end->tick = std::max(end->tick, out.empty() ? 0 : out.back().tick);
            out.push_back(*end);
        }
        return out;
    }

    const SmfFile& song_;
    const EmbedOptions& o_;
    std::vector<std::vector<SmfEvent>> tracks_;
    std::vector<std::vector<bool>> removed_, kept_;
    std::vector<std::vector<std::size_t>> position_;
    std::vector<Ref> order_;  // every event by time; at one tick, by track, then as written
};

}  // namespace

std::string EmbedKit(std::string_view song, const Kit& kit, const EmbedOptions& options, EmbedReport* report) {
    EmbedReport r;
    if (options.gapMs < 0 || options.gapMs > kMaxEmbedGapMs)
        throw std::invalid_argument("the gap must be 0 to " + std::to_string(kMaxEmbedGapMs) + " ms");
    std::string out;
    if (isRmid(song)) {
        const RmidFile rmid = readRmid(song);
        const SmfFile smf = readSmf(song.substr(rmid.dataOffset, rmid.dataLength), rmid.dataOffset);
        out = writeRmid(rmid, Embedder(smf, options).run(kit, r));
        r.rmid = true;
    } else {
        const SmfFile smf = readSmf(song);
        out = Embedder(smf, options).run(kit, r);
    }
    if (report) *report = r;
    return out;
}

namespace {
std::string fixed(double v, int decimals) {
    char b[48];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}
std::string at(const SongPlace& p) { return "measure " + std::to_string(p.measure) + " (" + fixed(p.ms, 1) + " ms)"; }
}  // namespace

const char* resetName(EmbedReport::Reset reset) {
    static const char* const names[] = {
        "", "GS reset", "GM system on", "GM2 system on", "system mode set", "drum map of all parts"};
    return names[reset];
}

std::vector<std::string> describeEmbed(const EmbedReport& r) {
    std::vector<std::string> lines;
    lines.push_back("song: " + std::string(r.rmid ? "RIFF MIDI (RMID), " : "") + "format " + std::to_string(r.format) +
                    ", " + std::to_string(r.tracks) + " track(s), " + std::to_string(r.division) +
                    " ticks a quarter note");
    lines.push_back("added " + std::to_string(r.messages) + " message(s) to track " + std::to_string(r.track + 1) +
                    (r.resetAdded ? ", a GS reset first" : "") + ": from " + at(r.first) + " to " + at(r.last));
    if (r.reset != EmbedReport::None)
        lines.push_back(std::string(r.resetAdded ? "after the GS reset added at "
                                                 : "after the song's " + std::string(resetName(r.reset)) + " at ") +
                        at(r.resetAt) + ", " + fixed(r.resetGapMs, 1) + " ms later");
    else
        lines.push_back("the song has no GS reset or GM system on; none added (--reset adds one)");
    if (r.smallestGapMs >= 0) lines.push_back("messages at least " + fixed(r.smallestGapMs, 2) + " ms apart");
    if (r.movedTicks)
        lines.push_back("the song moved " + std::to_string(r.movedMeasures) + " measure(s) later (" +
                        std::to_string(r.movedTicks) + " ticks, " + fixed(r.movedMs, 1) + " ms)");
    else
        lines.push_back("the song did not move: the set-up fits before its first note");
    if (r.userDrumFound)
        lines.push_back(std::string(r.userDrumKept ? "kept " : "replaced ") + std::to_string(r.userDrumFound) +
                        " user drum set message(s) the song carried");
    lines.push_back("the set-up lasts " + fixed(r.seconds, 2) + " s at the song's tempo");
    return lines;
}

}  // namespace kf
