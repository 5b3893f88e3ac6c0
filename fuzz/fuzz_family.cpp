// Fuzz target: the input is a whole table family (see family_input.h).

#include "family_input.h"
#include "mem_env.h"
#include "walk.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    korva::fuzz::MemEnv env;
    install(korva::fuzz::unpack({reinterpret_cast<const char*>(data), size}), env);
    korva::fuzz::exercise(env, ".", "T.DB");
    return 0;
}
