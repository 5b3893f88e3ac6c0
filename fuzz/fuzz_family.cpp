// Fuzz target: the input is a whole table family (see family_input.h).

#include "family_input.h"
#include "mem_env.h"
#include "walk.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korva::fuzz;
    const Family f = unpack({reinterpret_cast<const char*>(data), size});
    MemEnv env;
    env.put("./T.DB", f.db);
    auto putIf = [&](const std::string& extension, const std::string& bytes) {
        if (!bytes.empty())
            env.put("./T." + extension, bytes);
    };
    putIf("PX", f.px);
    putIf("MB", f.mb);
    putIf("VAL", f.val);
    if (isXExtension(f.xExtension)) {
        putIf(f.xExtension, f.x);
        putIf("Y" + f.xExtension.substr(1), f.y);
    }
    exercise(env, ".", "T.DB");
    return 0;
}
