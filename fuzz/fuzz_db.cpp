// Fuzz target: the input is a .DB file, opened alone.

#include "mem_env.h"
#include "walk.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    korva::fuzz::MemEnv env;
    env.put("./T.DB", {reinterpret_cast<const char*>(data), size});
    korva::fuzz::exercise(env, ".", "T.DB");
    return 0;
}
