#pragma once
#include <cstdint>

// Result code of every component method. Methods never fail outright: they
// answer S_OK, or S_FALSE where an id names nothing or an index is out of range.
using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
