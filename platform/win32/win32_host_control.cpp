#include "platform/win32/win32_host_control.h"

#include <windows.h>
#include <oleauto.h>

#include <vector>

#include "platform/app_error.h"
#include "platform/win32/ansi_text.h"

namespace ostrel::win32 {

namespace {

constexpr const char* kSource = "VEQServer1";

std::string FromBstr(BSTR text) {
    return Narrow(text, SysStringLen(text));
}

BSTR ToBstr(const std::string& text) {
    const std::wstring wide = Widen(text);
    BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!b) throw AppError(static_cast<int32_t>(E_OUTOFMEMORY), kSource, "Out of memory");
    return b;
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
            VariantClear(&v);
        for (BSTR b : refs_)
            SysFreeString(b);
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
    ~ScopedVariant() { VariantClear(&v); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT v;
};

std::string ResultText(VARIANT& result) {
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
        description = FromBstr(info.bstrDescription);
        if (info.bstrSource) source = FromBstr(info.bstrSource);
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
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

std::string DispatchHostControl::Invoke(int32_t dispId, std::span<DispArg> args) {
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

std::string LazyHostControl::Invoke(int32_t dispId, std::span<DispArg> args) {
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
