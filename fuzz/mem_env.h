#pragma once

#include "base/mem_env.h"

namespace korva::fuzz {
using korva::MemEnv;
}  // namespace korva::fuzz
