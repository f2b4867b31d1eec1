#include "platform/win32/win32_host_control.h"

#include <windows.h>
#include <oleauto.h>

#include <vector>

#include "platform/app_error.h"
#include "platform/win32/ansi_text.h"
#include "support/wipe.h"

namespace ostrel::win32 {

namespace {

constexpr const char* kSource = "VEQServer1";

// A BSTR's text in the ANSI code page, straight into the card data store: a text the control
// hands back may be a card number.
CardText FromBstr(BSTR text) {
    CardText narrow;
    const int length = static_cast<int>(SysStringLen(text));
    if (!text || length == 0) return narrow;
    const int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), n, nullptr, nullptr);
    return narrow;
}

std::string PlainText(BSTR text) {
    return Narrow(text, SysStringLen(text));
}

// Made in place, with no wide copy of the text beside it.
BSTR ToBstr(std::string_view text) {
    const int length = static_cast<int>(text.size());
    const int n = length ? MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0) : 0;
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (!b) throw AppError(static_cast<int32_t>(E_OUTOFMEMORY), kSource, "Out of memory");
    if (n) MultiByteToWideChar(CP_ACP, 0, text.data(), length, b, n);
    return b;
}

// COM keeps freed BSTRs for reuse without clearing them ("Automation may cache the space
// allocated for BSTRs", String Manipulation Functions): each is overwritten before it goes.
void FreeBstr(BSTR text) {
    if (!text) return;
    WipeBytes(text, SysStringByteLen(text));
    SysFreeString(text);
}

void ClearVariant(VARIANT& v) {
    if (V_VT(&v) == VT_BSTR) {
        FreeBstr(V_BSTR(&v));
        V_VT(&v) = VT_EMPTY;
    }
    VariantClear(&v);
}

std::string SystemText(HRESULT hr) {
    char* buffer = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n ? std::string(buffer, n) : "Automation error";
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// The argument VARIANTs of one call, in the reverse order COM takes them, and the strings that
// by-reference arguments point to. Everything is freed on every way out.
class ArgBlock {
  public:
    explicit ArgBlock(std::span<DispArg> args)
        : args_(args), variants_(args.size()), refs_(args.size(), nullptr) {
        for (VARIANT& v : variants_)
            VariantInit(&v);
    }
    ~ArgBlock() {
        for (VARIANT& v : variants_)
            ClearVariant(v);
        for (BSTR b : refs_)
            FreeBstr(b);
    }
    ArgBlock(const ArgBlock&) = delete;
    ArgBlock& operator=(const ArgBlock&) = delete;

    // Separate from the constructor so that a failure half-way still frees what was made.
    void Fill() {
        std::span<DispArg> args = args_;
        const size_t n = args.size();
        for (size_t i = 0; i < n; ++i) {
            VARIANT& v = variants_[n - 1 - i];
            switch (args[i].type) {
                case DispArg::Type::Long:
                    V_VT(&v) = VT_I4;
                    V_I4(&v) = args[i].i4;
                    break;
                case DispArg::Type::Text:
                    V_BSTR(&v) = ToBstr(args[i].text);
                    V_VT(&v) = VT_BSTR;
                    break;
                case DispArg::Type::TextRef:
                    refs_[i] = ToBstr(*args[i].ref);
                    V_VT(&v) = VT_BYREF | VT_BSTR;
                    V_BSTRREF(&v) = &refs_[i];
                    break;
            }
        }
    }

    DISPPARAMS Params() {
        return DISPPARAMS{variants_.data(), nullptr, static_cast<UINT>(variants_.size()), 0};
    }
    // A by-reference text comes back to the caller's variable, as the control left it.
    void CopyBack() {
        for (size_t i = 0; i < args_.size(); ++i) {
            if (args_[i].type == DispArg::Type::TextRef) *args_[i].ref = FromBstr(refs_[i]);
        }
    }

  private:
    std::span<DispArg> args_;
    std::vector<VARIANT> variants_;
    std::vector<BSTR> refs_;
};

class ScopedVariant {
  public:
    ScopedVariant() { VariantInit(&v); }
    ~ScopedVariant() { ClearVariant(v); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT v;
};

CardText ResultText(VARIANT& result) {
    if (V_VT(&result) == VT_EMPTY || V_VT(&result) == VT_NULL) return "";
    if (V_VT(&result) == VT_BSTR) return FromBstr(V_BSTR(&result));
    ScopedVariant text;
    if (FAILED(VariantChangeType(&text.v, &result, 0, VT_BSTR))) {
        throw AppError(errnum::kTypeMismatch, kSource, "Type mismatch");
    }
    return FromBstr(V_BSTR(&text.v));
}

[[noreturn]] void RaiseInvokeError(HRESULT hr, EXCEPINFO& info) {
    int32_t number = hr;
    std::string description;
    std::string source = kSource;
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        if (info.scode) {
            number = info.scode;
        } else if (info.wCode) {
            number = info.wCode;
        }
        description = PlainText(info.bstrDescription);
        if (info.bstrSource) source = PlainText(info.bstrSource);
    }
    FreeBstr(info.bstrSource);
    FreeBstr(info.bstrDescription);
    FreeBstr(info.bstrHelpFile);
    if (description.empty()) description = SystemText(number);
    throw AppError(number, source, description);
}

}  // namespace

ComApartment::ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}

ComApartment::~ComApartment() {
    if (initialized_) CoUninitialize();
}

DispatchHostControl::DispatchHostControl(IDispatch* dispatch) : dispatch_(dispatch) {}

DispatchHostControl::~DispatchHostControl() = default;

CardText DispatchHostControl::Invoke(int32_t dispId, std::span<DispArg> args) {
    ArgBlock block(args);
    block.Fill();
    DISPPARAMS params = block.Params();
    ScopedVariant result;
    EXCEPINFO info = {};
    UINT argError = 0;
    const HRESULT hr = dispatch_->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                         &params, &result.v, &info, &argError);
    block.CopyBack();
    if (FAILED(hr)) RaiseInvokeError(hr, info);
    return ResultText(result.v);
}

CardText LazyHostControl::Invoke(int32_t dispId, std::span<DispArg> args) {
    if (!apartment_) apartment_.emplace();
    if (!control_) control_ = CreateHostControl();
    return control_->Invoke(dispId, args);
}

std::unique_ptr<HostControl> CreateHostControl(const char* progId) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(Widen(progId).c_str(), &clsid);
    ComRef<IDispatch> dispatch;
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()));
    }
    if (FAILED(hr)) {
        throw AppError(hr, kHostControlNotCreated,
                       "ActiveX component can't create object: " + std::string(progId));
    }
    return std::make_unique<DispatchHostControl>(dispatch.Get());
}

}  // namespace ostrel::win32
