#pragma once
// The vendor functions are C functions: no C++ exception may leave them. A
// library runs each call's body through CatchAtBoundary, which turns whatever
// escapes into a failure status the caller sees (never FT_OK).
#include <new>

#include "d2xx/ftd2xx_abi.h"

namespace d2xx_boundary {

template <typename Body>
FT_STATUS CatchAtBoundary(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return FT_INSUFFICIENT_RESOURCES;
    } catch (...) {
        return FT_OTHER_ERROR;
    }
}

}  // namespace d2xx_boundary
