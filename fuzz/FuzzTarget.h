// What one fuzz target does with an input, and the seed inputs it starts from. A target is a
// file in fuzz/targets/ holding one VANTRY_FUZZ_TARGET line; the build turns it into a
// libFuzzer executable (linux-fuzz preset) and into a replay program that the tests run
// over the target's regression folder (every other native preset).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

namespace vx::fuzz {

using Input = std::span<const std::uint8_t>;

struct Target {
    std::function<void(Input)> run;
    // Writes the target's seed corpus (generated pictures, never outside files) into a directory.
    std::function<void(const std::filesystem::path&)> writeSeeds;
};

// Decodes with the codec of `type` (kVxTypeUnknown: detection by content): header only
// (escape -1), then in full; a decoded picture is checked and encoded again, in its own format
// where that has an encoder and as JPEG, the batch job's output. A failure must leave a message.
Target DecoderTarget(std::uint32_t type);
// The EXIF section reader alone: reads the sections, then writes the kept ones back out.
Target ExifTarget();

// Defined by each target file through VANTRY_FUZZ_TARGET.
const Target& ThisTarget();

} // namespace vx::fuzz

#define VANTRY_FUZZ_TARGET(definition)                                                                  \
    const vx::fuzz::Target& vx::fuzz::ThisTarget()                                                     \
    {                                                                                                  \
        static const Target target = definition;                                                       \
        return target;                                                                                 \
    }
