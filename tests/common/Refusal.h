#pragma once

#include "MDlib/Error.h"

#include <QString>

// The message an action is refused with; "" when it goes through.
template <typename Action> QString refusal(Action &&action) {
    try {
        action();
    } catch (const lodvik::Error &e) {
        return e.message();
    }
    return {};
}
