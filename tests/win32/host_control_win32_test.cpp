// The host link's calls as they reach a real IDispatch: dispatch ids, DISPATCH_METHOD, and the
// VARIANT arguments with their types, in the order COM keeps them.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "platform/win32/win32_host_control.h"
#include "tests/app_error_matchers.h"

namespace ostrel::win32 {
namespace {

std::string Narrow(BSTR b) {
    std::string out;
    for (UINT i = 0; i < SysStringLen(b); ++i)
        out += static_cast<char>(b[i]);
    return out;
}

// An argument as the control received it, in call order.
struct Seen {
    VARTYPE vt;
    std::string value;
    bool operator==(const Seen&) const = default;
};
struct Invocation {
    DISPID id;
    WORD flags;
    std::vector<Seen> args;
};

// Records every Invoke; answers with a set result or fails as told.
class RecordingDispatch : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT*) override {
        Invocation call{id, flags, {}};
        EXPECT_EQ(params->cNamedArgs, 0u);
        for (UINT i = params->cArgs; i-- > 0;) {
            VARIANT& v = params->rgvarg[i];
            Seen seen{V_VT(&v), ""};
            if (V_VT(&v) == VT_I4) seen.value = std::to_string(V_I4(&v));
            if (V_VT(&v) == VT_BSTR) seen.value = Narrow(V_BSTR(&v));
            if (V_VT(&v) == (VT_BYREF | VT_BSTR)) {
                seen.value = Narrow(*V_BSTRREF(&v));
                if (!rewriteByRef.empty()) {
                    const std::wstring w(rewriteByRef.begin(), rewriteByRef.end());
                    SysReAllocString(V_BSTRREF(&v), w.c_str());
                }
            }
            call.args.push_back(seen);
        }
        calls.push_back(call);
        if (failWith != S_OK) {
            if (failWith == DISP_E_EXCEPTION) {
                info->scode = exceptionCode;
                info->bstrDescription = SysAllocString(L"Screen field not found");
                info->bstrSource = SysAllocString(L"VEQServer");
            }
            return failWith;
        }
        VariantCopy(result, &answer);
        return S_OK;
    }

    ~RecordingDispatch() { VariantClear(&answer); }

    ULONG refs = 1;
    std::vector<Invocation> calls;
    VARIANT answer = {};
    HRESULT failWith = S_OK;
    HRESULT exceptionCode = S_OK;
    std::string rewriteByRef;
};

class HostControlWin32Test : public ::testing::Test {
  protected:
    RecordingDispatch recorder;
    DispatchHostControl control{&recorder};
    HostLinkControl link{control};
    HostSessionId session = HostSessionId::Number(2);
};

const std::vector<Seen>& Args(const RecordingDispatch& r) {
    return r.calls.back().args;
}

TEST_F(HostControlWin32Test, AttachAndDetachAreMethodCallsByFixedId) {
    link.OpenHostLink(session);
    link.CloseHostLink();
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[0].id, 49);
    EXPECT_EQ(recorder.calls[0].flags, DISPATCH_METHOD);
    EXPECT_EQ(recorder.calls[0].args, (std::vector<Seen>{{VT_I4, "2"}, {VT_I4, "3"}}));
    EXPECT_EQ(recorder.calls[1].id, 24);
    EXPECT_TRUE(recorder.calls[1].args.empty());
}

TEST_F(HostControlWin32Test, PutArgumentsKeepTheirTypesAndOrder) {
    link.OpenHostLink(session);
    CardText first = "JOHN";
    link.PutScreenField("WFNAM", DispArg::TextRef(first), session);
    EXPECT_EQ(recorder.calls.back().id, 39);
    EXPECT_EQ(Args(recorder),
              (std::vector<Seen>{
                  {VT_BSTR, "WFNAM"}, {VT_I4, "0"}, {VT_BYREF | VT_BSTR, "JOHN"}, {VT_I4, "2"}}));
    link.PutScreenValue("ZEXPMM", DispArg::Text("12"), session);
    EXPECT_EQ(recorder.calls.back().id, 18);
    EXPECT_EQ(
        Args(recorder),
        (std::vector<Seen>{{VT_BSTR, "ZEXPMM"}, {VT_I4, "0"}, {VT_BSTR, "12"}, {VT_I4, "2"}}));
    link.PutScreenFlag("CCScanCard", "Y", session);
    EXPECT_EQ(recorder.calls.back().id, 45);
    EXPECT_EQ(
        Args(recorder),
        (std::vector<Seen>{{VT_BSTR, "CCScanCard"}, {VT_BSTR, "Y"}, {VT_I4, "1"}, {VT_I4, "2"}}));
}

TEST_F(HostControlWin32Test, AByReferenceTextComesBackAsTheControlLeftIt) {
    link.OpenHostLink(session);
    recorder.rewriteByRef = "JOHNNY";
    CardText first = "JOHN";
    link.PutScreenField("WFNAM", DispArg::TextRef(first), session);
    EXPECT_EQ(first, "JOHNNY");
}

TEST_F(HostControlWin32Test, ResultsAreReadAsText) {
    V_VT(&recorder.answer) = VT_BSTR;
    V_BSTR(&recorder.answer) = SysAllocString(L"4111111111111111");
    EXPECT_EQ(link.GetScreenField("W1AC#", session), "4111111111111111");
    EXPECT_EQ(recorder.calls.back().id, 36);
    EXPECT_EQ(Args(recorder), (std::vector<Seen>{{VT_BSTR, "W1AC#"}, {VT_I4, "2"}}));

    VariantClear(&recorder.answer);
    V_VT(&recorder.answer) = VT_I4;
    V_I4(&recorder.answer) = 1234;
    EXPECT_EQ(link.GetSessionInfo(session), "1234");
    EXPECT_EQ(recorder.calls.back().id, 40);
    EXPECT_EQ(Args(recorder), (std::vector<Seen>{{VT_I4, "4"}, {VT_I4, "2"}}));

    VariantClear(&recorder.answer);
    EXPECT_EQ(link.GetSessionInfo(session), "");
}

TEST_F(HostControlWin32Test, AFailureCarriesTheControlsCodeAndText) {
    recorder.failWith = DISP_E_EXCEPTION;
    recorder.exceptionCode = static_cast<HRESULT>(0x80040201);
    const AppError e = CaughtError([&] { link.GetScreenField("NOPE", session); });
    EXPECT_EQ(e.Number(), static_cast<int32_t>(0x80040201));
    EXPECT_EQ(e.Description(), "Screen field not found");
    EXPECT_EQ(e.Source(), "VEQServer");
}

TEST_F(HostControlWin32Test, AFailureWithoutTextCarriesTheHresult) {
    recorder.failWith = DISP_E_MEMBERNOTFOUND;
    const AppError e = CaughtError([&] { link.GetSessionInfo(session); });
    EXPECT_EQ(e.Number(), static_cast<int32_t>(DISP_E_MEMBERNOTFOUND));
    EXPECT_FALSE(e.Description().empty());
}

TEST_F(HostControlWin32Test, TheControlIsReleasedWithTheWrapper) {
    {
        DispatchHostControl other(&recorder);
        EXPECT_EQ(recorder.refs, 3u);
    }
    EXPECT_EQ(recorder.refs, 2u);
}

TEST(CreateHostControl, AControlThatIsNotInstalledRaisesItsHresult) {
    ComApartment com;
    const AppError e = CaughtError([] { CreateHostControl("OstrelTests.NoSuchControl"); });
    EXPECT_TRUE(e.Number() == static_cast<int32_t>(CO_E_CLASSSTRING) ||
                e.Number() == static_cast<int32_t>(REGDB_E_CLASSNOTREG))
        << std::hex << e.Number();
    EXPECT_NE(e.Description().find("OstrelTests.NoSuchControl"), std::string::npos);
    EXPECT_EQ(e.Source(), kHostControlNotCreated);
}

}  // namespace
}  // namespace ostrel::win32
