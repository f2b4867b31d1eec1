#pragma once
// Runs f and returns the AppError it raised; records a failure when it raised none.
#include <gtest/gtest.h>

#include "platform/app_error.h"

namespace ostrel {

template <class F>
AppError CaughtError(F&& f) {
    try {
        f();
    } catch (const AppError& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return AppError(0, "", "");
}

}  // namespace ostrel
