// libFuzzer's entry point: every input goes to the target's run.
#include "fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vx::fuzz::ThisTarget().run(vx::fuzz::Input(data, size));
    return 0;
}
