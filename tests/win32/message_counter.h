#pragma once
// A message-only window that counts the WM_APP messages dispatched to it: proof that a pump
// ran while they were pending.
#include <windows.h>

namespace ostrel::win32 {

class AppMessageCounter {
  public:
    AppMessageCounter() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "OstrelAppMessageCounter";
        RegisterClassA(&wc);  // fails harmlessly when already registered
        window_ = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count_));
    }
    ~AppMessageCounter() { DestroyWindow(window_); }
    AppMessageCounter(const AppMessageCounter&) = delete;
    AppMessageCounter& operator=(const AppMessageCounter&) = delete;

    bool Valid() const { return window_ != nullptr; }
    void Post() { PostMessageA(window_, WM_APP, 0, 0); }
    int Count() const { return count_; }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_APP) ++*reinterpret_cast<int*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        return DefWindowProcA(hwnd, msg, wp, lp);
    }

    HWND window_ = nullptr;
    int count_ = 0;
};

}  // namespace ostrel::win32
