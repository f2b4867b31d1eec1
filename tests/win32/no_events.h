#pragma once
// A window's events that do nothing, for tests that show the program's window without its logic.
#include "platform/win32/win32_desktop.h"

namespace ostrel::win32 {

struct NoEvents : WindowEvents {
    void OnClick() override {}
    void OnResize() override {}
    void OnIconMessage(uint32_t) override {}
    void OnTimer() override {}
    void OnMenu(MenuItem) override {}
    void OnCloseRequest() override {}
    void OnEndSession() override {}
};

}  // namespace ostrel::win32
