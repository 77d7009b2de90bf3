// The editor's environment, which ctags inherits.
#pragma once

#include "text/CountedString.h"

namespace kestrel {

// The value of the environment variable `name`; empty when it is not set.
CountedString EnvironmentVariable(const char* name);

} // namespace kestrel
