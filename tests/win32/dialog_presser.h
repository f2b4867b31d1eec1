#pragma once
// Answers a message box that the thread under test shows: another thread waits for the dialog
// with the given caption, reads its text and presses a button.
#include <windows.h>

#include <string>

namespace ostrel::win32 {

class DialogPresser {
  public:
    DialogPresser(std::string caption, int button) : caption_(std::move(caption)), button_(button) {
        thread_ = CreateThread(nullptr, 0, &DialogPresser::Run, this, 0, nullptr);
    }
    ~DialogPresser() { Join(); }
    DialogPresser(const DialogPresser&) = delete;
    DialogPresser& operator=(const DialogPresser&) = delete;

    // Waits for the presser to finish; true when it found the dialog and pressed.
    bool Join() {
        if (thread_) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
        return pressed_;
    }
    const std::string& Text() const { return text_; }

  private:
    static DWORD WINAPI Run(void* self) {
        static_cast<DialogPresser*>(self)->Press();
        return 0;
    }
    void Press() {
        for (int i = 0; i < 200 && !pressed_; ++i) {
            HWND dialog = FindWindowA("#32770", caption_.c_str());
            if (!dialog) {
                Sleep(50);
                continue;
            }
            char text[1024] = {};
            GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
            text_ = text;
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), 0);
            pressed_ = true;
        }
    }

    std::string caption_;
    int button_;
    HANDLE thread_ = nullptr;
    std::string text_;
    bool pressed_ = false;
};

}  // namespace ostrel::win32
