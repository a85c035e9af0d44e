#pragma once

namespace platform {

// The calling thread runs at the lowest priority the system offers (nice 19).
void SetCurrentThreadLowestPriority();

// The calling thread asks for a higher priority; stays normal where raising
// needs privileges the process lacks.
void SetCurrentThreadHighestPriority();

}  // namespace platform
