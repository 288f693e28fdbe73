// Reading Roland GS DT1 messages: whether a message is one, and the address of each data byte,
// as a module takes a DT1 that spans several addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace kf {

enum class Dt1Status { Taken, NotDt1, BadChecksum };

// Calls byte(address, value) for each data byte of F0 41 dd 42 12 a1 a2 a3 data… sum F7 (any
// device ID dd), the address counting on across the 7-bit bytes: a1 << 14 | a2 << 7 | a3.
Dt1Status forEachDt1Byte(const std::uint8_t* m, std::size_t n, const std::function<void(unsigned, std::uint8_t)>& byte);

// An address of the user drum area: set 1..2 and either a note parameter (1..12 at a note) or
// a byte of the set name (parameter 0, index 0..11).
struct UserDrumAddress {
    int set;
    int parameter;
    int index;  // the note, or the name byte
};
std::optional<UserDrumAddress> userDrumAt(unsigned address);

}  // namespace kf
