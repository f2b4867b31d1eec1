// The notification-area icon that stands for the hidden window, and the icon's mouse messages.
#include <cstring>

#include "shell/scanner_form.h"

namespace ostrel {

namespace {
constexpr uint32_t kIconId = 1;
constexpr uint32_t kMessageIconTip = 7;  // NIF_MESSAGE | NIF_ICON | NIF_TIP
constexpr const char* kTip = "Ostrel";
constexpr const char* kBlank = " ";
}  // namespace

void ScannerForm::AddTrayIcon() {
    icon_.cbSize = kNotifyIconRecordSize;
    icon_.hWnd = desktop_.WindowHandle();
    icon_.uID = kIconId;
    icon_.uFlags = kMessageIconTip;
    icon_.uCallbackMessage = kIconCallbackMessage;
    icon_.hIcon = desktop_.WindowIcon();
    std::memset(icon_.szTip, ' ', sizeof icon_.szTip);
    std::memcpy(icon_.szTip, kTip, std::strlen(kTip) + 1);
    desktop_.NotifyIcon(kNimAdd, icon_);
    desktop_.ShowWindow(WindowShow::Hide);
}

void ScannerForm::RemoveTrayIcon() {
    ResetSharedValues();
    DeleteTrayIcon();
}

void ScannerForm::ResetSharedValues() {
    // The first copy owns the shared values: they are reset whenever it ends.
    if (!desktop_.PreviousInstance()) {
        BlankSessionValues();
        store_.Setting("Logging", kBlank);
    }
}

void ScannerForm::DeleteTrayIcon() {
    icon_.cbSize = kNotifyIconRecordSize;
    icon_.hWnd = desktop_.WindowHandle();
    desktop_.NotifyIcon(kNimDelete, icon_);
    desktop_.ShowWindow(WindowShow::Show);
    desktop_.ShowWindow(WindowShow::Hide);
}

void ScannerForm::Form_MouseMove(int32_t x) {
    // Only the icon's callback gets here, and the window works in pixels: x is the icon's mouse
    // message itself.
    switch (static_cast<uint32_t>(x)) {
        case kWmLButtonDblClk:
            desktop_.ShowWindow(WindowShow::Normal);
            desktop_.SetForegroundWindow(desktop_.WindowHandle());
            desktop_.ShowWindow(WindowShow::Show);
            break;
        case kWmRButtonUp:
            desktop_.SetForegroundWindow(desktop_.WindowHandle());
            desktop_.PopupToolsMenu();
            break;
        default:
            break;
    }
}

}  // namespace ostrel
