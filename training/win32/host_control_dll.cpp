// The stand-in for the host maker's control: an in-process COM object whose IDispatch checks
// each call against the operation's signature and forwards it to the host emulator kt4r.exe;
// the screen text, asked for twice a second, is read from the emulator's shared board.
#include "training/win32/host_control_dll.h"

#include <oleauto.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "platform/host_control.h"
#include "platform/win32/ansi_text.h"
#include "training/emulator_core.h"
#include "training/host_screens.h"
#include "training/win32/pipe.h"
#include "training/win32/screen_board.h"

namespace ostrel::training::win32 {

namespace {

using ostrel::win32::Narrow;
using ostrel::win32::Widen;

constexpr const wchar_t* kNoEmulator =
    L"The host emulator kt4r.exe is not running (or did not answer). Start kt4r.exe, then try "
    L"again.";
constexpr const wchar_t* kBadReply =
    L"The host emulator kt4r.exe sent a reply the host control cannot read.";

// Milliseconds each call dispatches the caller's window messages before it is answered, as
// COM does while a control in another process works on a call; 0 (the default) never yields.
constexpr const wchar_t* kDispatchVariable = L"OSTREL_STANDIN_DISPATCH_MS";

DWORD DispatchMsFromEnvironment() {
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(kDispatchVariable, text, 16);
    if (length == 0 || length >= 16) return 0;
    const unsigned long ms = wcstoul(text, nullptr, 10);
    return ms > 60000 ? 60000 : static_cast<DWORD>(ms);
}

// Read once as the DLL loads: a test sets it in the environment the program inherits.
const DWORD g_dispatchMs = DispatchMsFromEnvironment();

// Where the screen text is read without asking the emulator.
ScreenBoardReader g_board;

// The operations in progress in this process, innermost last. The control is apartment
// threaded, so only the thread that created it calls it and no lock is needed.
std::vector<DISPID> g_callsInProgress;

// Runs the caller's window messages for ms, as the COM call of an out-of-process control does
// while it waits. A WM_QUIT is put back for the caller's own loop, and ends the wait.
void DispatchCallersMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

// One call in progress for as long as it lives. A call begun inside another is told to the
// emulator, which lists it, so that a test sees it; the call itself is still served.
class CallInProgress {
  public:
    explicit CallInProgress(DISPID dispId) {
        if (!g_callsInProgress.empty()) {
            CallEmulator(NestedCallReport(dispId, g_callsInProgress.back()));
        }
        g_callsInProgress.push_back(dispId);
    }
    ~CallInProgress() { g_callsInProgress.pop_back(); }
    CallInProgress(const CallInProgress&) = delete;
    CallInProgress& operator=(const CallInProgress&) = delete;
};

// Live objects and class factories, and the locks of IClassFactory::LockServer: the DLL may
// be unloaded only when both are 0.
LONG g_objects = 0;
LONG g_locks = 0;

BSTR ToBstr(const std::wstring& text) {
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b) throw std::bad_alloc();
    return b;
}

// A null BSTR is an empty text; a null by-reference pointer is no text at all.
ControlArg ArgOf(const VARIANT& v) {
    switch (V_VT(&v)) {
        case VT_I4:
            return ControlArg::Long(V_I4(&v));
        case VT_BSTR:
            return ControlArg::Text(Narrow(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
        case VT_BSTR | VT_BYREF:
            if (!V_BSTRREF(&v)) break;
            return ControlArg::TextRef(Narrow(*V_BSTRREF(&v), SysStringLen(*V_BSTRREF(&v))));
        default:
            break;
    }
    return {ControlArg::Kind::Other, 0, "variant type " + std::to_string(V_VT(&v))};
}

// A getter's text result, where the caller asked for one.
HRESULT TextResult(const std::string& text, VARIANT* result) {
    if (result) {
        V_BSTR(result) = ToBstr(Widen(text));
        V_VT(result) = VT_BSTR;
    }
    return S_OK;
}

HRESULT Raise(EXCEPINFO* info, HRESULT scode, const std::wstring& description) {
    if (info) {
        *info = {};
        info->bstrSource = SysAllocString(kStandinSource);
        info->bstrDescription =
            SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
        info->scode = scode;
    }
    return DISP_E_EXCEPTION;
}

// Names are ASCII; any other character cannot match one.
std::string AsciiName(const wchar_t* name) {
    std::string ascii;
    for (; name && *name; ++name) {
        if (*name > 0x7f) return {};
        ascii += static_cast<char>(*name);
    }
    return ascii;
}

// IUnknown for an object of the DLL with one interface besides it: counted references, and a
// count of live objects for DllCanUnloadNow.
template <class Interface>
class ComObject : public Interface {
  public:
    explicit ComObject(const IID& iid) : iid_(iid) { InterlockedIncrement(&g_objects); }
    virtual ~ComObject() { InterlockedDecrement(&g_objects); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }

  private:
    const IID& iid_;
    LONG refs_ = 1;
};

class StandinControl final : public ComObject<IDispatch> {
  public:
    StandinControl() : ComObject(IID_IDispatch) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (count == 0) return S_OK;
        if (!names || !ids) return E_POINTER;
        try {
            for (UINT i = 0; i < count; ++i)
                ids[i] = DISPID_UNKNOWN;
            const auto id = OperationId(AsciiName(names[0]));
            if (!id) return DISP_E_UNKNOWNNAME;
            ids[0] = *id;
            // The operations take no named arguments, so no parameter name is known.
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID riid, LCID, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) override {
        try {
            // Dispatching, the stand-in is a control in another process: COM refuses a call to
            // one made while the caller handles a message another thread sent and whose sender
            // still waits (RPC_E_CANTCALLOUT_ININPUTSYNCCALL), before the call leaves.
            if (g_dispatchMs > 0 &&
                (InSendMessageEx(nullptr) & (ISMEX_REPLIED | ISMEX_SEND)) == ISMEX_SEND) {
                CallEmulator(SentMessageCallReport(dispId));
                return RPC_E_CANTCALLOUT_ININPUTSYNCCALL;
            }
            const CallInProgress inProgress(dispId);
            if (g_dispatchMs > 0) DispatchCallersMessages(g_dispatchMs);
            return Call(dispId, riid, flags, params, result, info, argError);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

  private:
    static HRESULT Call(DISPID dispId, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* info, UINT* argError) {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        // Methods only: the control has no properties.
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (!params || (params->cArgs > 0 && !params->rgvarg)) return E_INVALIDARG;
        if (params->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
        if (result) VariantInit(result);

        // COM keeps the arguments last first.
        const UINT n = params->cArgs;
        std::vector<ControlArg> args;
        args.reserve(n);
        for (UINT i = 0; i < n; ++i)
            args.push_back(ArgOf(params->rgvarg[n - 1 - i]));
        // Checked here, before anything is sent, so that a caller's mistake shows without
        // an emulator too.
        if (const auto misfit = CheckSignature(dispId, args)) {
            switch (misfit->outcome) {
                case ControlReply::Outcome::TypeMismatch:
                    if (argError) *argError = n - 1 - static_cast<UINT>(misfit->argIndex);
                    return DISP_E_TYPEMISMATCH;
                case ControlReply::Outcome::BadParamCount:
                    return DISP_E_BADPARAMCOUNT;
                default:
                    return DISP_E_MEMBERNOTFOUND;
            }
        }

        if (dispId == dispid::kGetSessionInfo) {
            if (auto text = g_board.ScreenText(args[0].number, args[1].number)) {
                return TextResult(*text, result);
            }
        }
        const auto reply = CallEmulator(ControlCall(dispId, args));
        if (!reply) return Raise(info, RPC_E_DISCONNECTED, kNoEmulator);
        const Message& answer = *reply;
        if (!answer.empty() && answer[0] == kOk) {
            if (dispId != dispid::kGetScreenField && dispId != dispid::kGetSessionInfo) {
                return S_OK;
            }
            // A missing result is a broken reply, not an empty field.
            if (answer.size() < 2) return Raise(info, E_UNEXPECTED, kBadReply);
            return TextResult(answer[1], result);
        }
        if (answer.size() >= 3 && answer[0] == kError) {
            // The emulator refused the call as given (no such field, session or kind).
            return Raise(info, E_INVALIDARG, Widen(answer[2]));
        }
        return Raise(info, E_UNEXPECTED, kBadReply);
    }
};

class Factory final : public ComObject<IClassFactory> {
  public:
    Factory() : ComObject(IID_IClassFactory) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* control = new (std::nothrow) StandinControl;
        if (!control) return E_OUTOFMEMORY;
        const HRESULT hr = control->QueryInterface(riid, out);
        control->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&g_locks);
        } else {
            InterlockedDecrement(&g_locks);
        }
        return S_OK;
    }
};

}  // namespace

HMODULE ThisModule() {
    static const int anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&anchor), &module);
    return module;
}

}  // namespace ostrel::training::win32

using ostrel::training::win32::Factory;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, ostrel::training::win32::kStandinClsid)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) Factory;
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() {
    using ostrel::training::win32::g_locks;
    using ostrel::training::win32::g_objects;
    return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}
