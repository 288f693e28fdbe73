// Where each MIDI event goes in a JACK process cycle so that paced events never follow one
// another closer than the line takes to carry the one before, and no event follows one that
// reinitialises the module before the module is ready again.
//
// A process callback that runs late reads the next cycle's start from the server, so the
// frame times it is given can jump ahead of the buffer it is really filling. Spacing is
// therefore counted in the callbacks' own buffers, each one period after the one before,
// and the server's frame time only says when a message falls due.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace kf {

class CyclePlacer {
public:
    explicit CyclePlacer(double framesPerUs) : framesPerUs_(framesPerUs) {}

    // cycleStart is the server's frame time for this callback, nframes its buffer's length.
    void beginCycle(std::uint32_t cycleStart, std::uint32_t nframes);
    // The offset in this cycle's buffer for a message of size bytes, or -1 when it must wait
    // for a later cycle. An unpaced message goes as soon as the one before it; a paced one
    // no sooner than its due frame and the line's being free. Neither goes while the module
    // settles.
    long offsetFor(std::size_t size, bool paced, std::uint32_t due) const;
    // The message went at offset; the module then needs settle from its last byte on the line.
    void placed(long offset, std::size_t size, bool paced,
                std::chrono::microseconds settle = std::chrono::microseconds(0));
    void endCycle();

private:
    long frames(std::chrono::microseconds t) const;

    double framesPerUs_;
    std::uint32_t cycleStart_ = 0;
    long nframes_ = 0;
    long offset_ = 0;    // where the last message of this cycle went
    long lineFree_ = 0;  // offset in this cycle from which the line is free again
    // Offset in this cycle from which the module takes messages again. Where a message really
    // went is known only here: the sender's own schedule can be a cycle early for the first
    // message of a burst, and an unpaced message has no schedule at all.
    long settled_ = 0;
};

}  // namespace kf
