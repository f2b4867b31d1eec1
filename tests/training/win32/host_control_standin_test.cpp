// The stand-in host control as the program meets it: registered per user, made by its ProgID,
// each call checked against its operation and carried to an emulator served in this process.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/host_control.h"
#include "platform/win32/win32_host_control.h"
#include "tests/app_error_matchers.h"
#include "tests/training/win32/standin_dll.h"
#include "training/emulator_core.h"
#include "training/win32/pipe.h"
#include "training/win32/screen_board.h"

namespace ostrel::training {
namespace {

using ::ostrel::win32::ComApartment;

// The host emulator's handling of messages, served on its pipe in this process.
struct InProcessEmulator {
    std::mutex mutex;
    EmulatorCore core;
    size_t requests = 0;
    win32::PipeServer server{[this](const Message& m) {
        std::lock_guard lock(mutex);
        ++requests;
        return core.Handle(m).reply;
    }};
};

VARIANT Typed(VARTYPE vt) {
    VARIANT v = {};
    V_VT(&v) = vt;
    return v;
}
VARIANT Long(int32_t n) {
    VARIANT v = Typed(VT_I4);
    V_I4(&v) = n;
    return v;
}
VARIANT Text(const wchar_t* text) {
    VARIANT v = Typed(VT_BSTR);
    V_BSTR(&v) = SysAllocString(text);
    return v;
}

struct RawResult {
    HRESULT hr;
    UINT argErr;
    VARTYPE resultType;
};

// IDispatch::Invoke with arguments given in call order (and freed after).
RawResult RawInvoke(IDispatch* d, DISPID id, std::vector<VARIANT> args,
                    WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info = {};
    RawResult raw{S_OK, 99, VT_EMPTY};
    raw.hr = d->Invoke(id, IID_NULL, 0, flags, &params, &result, &info, &raw.argErr);
    raw.resultType = V_VT(&result);
    VariantClear(&result);
    for (VARIANT& v : args)
        VariantClear(&v);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    return raw;
}

std::string Call(HostControl& control, int32_t id, std::vector<DispArg> args) {
    return std::string(control.Invoke(id, args).view());
}

// Registered for the user as regsvr32 does it, and unregistered after each test.
class HostControlStandin : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string real = RealHostControlRegistered();
        if (!real.empty()) GTEST_SKIP() << real;
        ASSERT_EQ(dll.Call("DllRegisterServer"), S_OK);
        registered = true;
        ASSERT_EQ(CoCreateInstance(kStandinClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&dispatch)),
                  S_OK);
    }
    void TearDown() override {
        if (dispatch) dispatch->Release();
        if (registered) {
            EXPECT_EQ(dll.Call("DllUnregisterServer"), S_OK);
        }
    }

    ComApartment com;
    StandinDll dll;
    bool registered = false;
    IDispatch* dispatch = nullptr;
};

TEST(HostControlStandinDll, MayUnloadOnlyWithNoObjectFactoryOrLockLeft) {
    StandinDll dll;
    auto classObject = dll.Export<HRESULT __stdcall(REFCLSID, REFIID, void**)>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    EXPECT_EQ(classObject(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(classObject(kStandinClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    IUnknown* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)),
              S_OK);
    factory->LockServer(TRUE);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(dll.Call("DllCanUnloadNow"), S_FALSE);  // the object and the lock
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(dll.Call("DllCanUnloadNow"), S_FALSE);  // the lock

    ASSERT_EQ(classObject(kStandinClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->LockServer(FALSE);
    EXPECT_EQ(dll.Call("DllCanUnloadNow"), S_FALSE);  // the factory
    factory->Release();
    EXPECT_EQ(dll.Call("DllCanUnloadNow"), S_OK);
}

TEST_F(HostControlStandin, NamesTheSevenOperationsAndNoParameters) {
    const std::pair<const wchar_t*, DISPID> known[] = {
        {L"AttachSession", 49},  {L"DetachSession", 24}, {L"PutScreenField", 39},
        {L"PutScreenValue", 18}, {L"putscreenflag", 45}, {L"GetScreenField", 36},
        {L"GETSESSIONINFO", 40}};
    for (const auto& [name, id] : known) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID got = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &got), S_OK);
        EXPECT_EQ(got, id);
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetScreenField"), const_cast<LPOLESTR>(L"Name")};
    DISPID ids[2] = {};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 36);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    names[0] = const_cast<LPOLESTR>(L"PutScreen");
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

TEST_F(HostControlStandin, RefusesCallsThatDoNotFitWithoutSendingThem) {
    InProcessEmulator emulator;
    ASSERT_TRUE(emulator.server.Started());
    EXPECT_EQ(RawInvoke(dispatch, 99, {}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(RawInvoke(dispatch, 24, {}, DISPATCH_PROPERTYGET).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(RawInvoke(dispatch, 49, {Long(2)}).hr, DISP_E_BADPARAMCOUNT);
    DISPID named = 0;
    VARIANT arg = Long(1);
    DISPPARAMS params{&arg, &named, 1, 1};
    EXPECT_EQ(
        dispatch->Invoke(24, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
        DISP_E_NONAMEDARGS);

    // puArgErr counts in COM's order, the last argument first.
    BSTR account = SysAllocString(L"4111");
    VARIANT byRef = Typed(VT_BSTR | VT_BYREF);
    V_BSTRREF(&byRef) = &account;
    const struct {
        const char* what;
        DISPID id;
        std::vector<VARIANT> args;
        UINT argErr;
    } cases[] = {
        {"a session as text", 49, {Long(2), Text(L"3")}, 0},
        {"a short session", 49, {Typed(VT_I2), Long(3)}, 1},
        {"a field name as a number", 39, {Long(1), Long(0), Text(L"x"), Long(2)}, 3},
        {"PutScreenValue's text by reference", 18, {Text(L"W1AC#"), Long(0), byRef, Long(2)}, 1},
        {"a null text reference",
         39,
         {Text(L"W1AC#"), Long(0), Typed(VT_BSTR | VT_BYREF), Long(2)},
         1},
    };
    for (const auto& c : cases) {
        const RawResult raw = RawInvoke(dispatch, c.id, c.args);
        EXPECT_EQ(raw.hr, DISP_E_TYPEMISMATCH) << c.what;
        EXPECT_EQ(raw.argErr, c.argErr) << c.what;
        EXPECT_EQ(raw.resultType, VT_EMPTY) << c.what;
    }
    SysFreeString(account);
    std::lock_guard lock(emulator.mutex);
    EXPECT_EQ(emulator.requests, 0u);
}

TEST_F(HostControlStandin, CarriesTheProgramsCallsToTheEmulator) {
    InProcessEmulator emulator;
    ASSERT_TRUE(emulator.server.Started());
    emulator.core.Screens().SetScreenText(2, "Payment Entry");
    const auto control = ::ostrel::win32::CreateHostControl();
    // A letter beyond ASCII, as the ANSI code page has it.
    char name[16] = {};
    WideCharToMultiByte(CP_ACP, 0, L"M\u00fcller", -1, name, sizeof name, nullptr, nullptr);

    Call(*control, dispid::kAttachSession, {DispArg::Long(2), DispArg::Long(3)});
    CardText account = "4111111111111111";
    Call(*control, dispid::kPutScreenField,
         {DispArg::Text("W1AC#"), DispArg::Long(0), DispArg::TextRef(account), DispArg::Long(2)});
    EXPECT_EQ(account, "4111111111111111");
    Call(*control, dispid::kPutScreenValue,
         {DispArg::Text("WLNAM"), DispArg::Long(0), DispArg::Text(name), DispArg::Long(2)});
    Call(*control, dispid::kPutScreenFlag,
         {DispArg::Text("CCSTATUS"), DispArg::Text("OK"), DispArg::Long(1), DispArg::Long(2)});
    {
        std::lock_guard lock(emulator.mutex);
        const HostScreens& screens = emulator.core.Screens();
        EXPECT_TRUE(screens.Session(2).attached);
        EXPECT_EQ(screens.Field(2, "W1AC#"), account);
        EXPECT_EQ(screens.Field(2, "WLNAM"), name);
        EXPECT_EQ(screens.Session(2).statuses, std::vector<std::string>{"OK"});
    }
    EXPECT_EQ(Call(*control, dispid::kGetScreenField, {DispArg::Text("W1AC#"), DispArg::Long(2)}),
              account);
    EXPECT_EQ(Call(*control, dispid::kGetScreenField, {DispArg::Text("WLNAM"), DispArg::Long(2)}),
              name);
    EXPECT_EQ(Call(*control, dispid::kGetSessionInfo, {DispArg::Long(4), DispArg::Long(2)}),
              "Payment Entry");
    Call(*control, dispid::kDetachSession, {});

    // What the emulator refuses is the caller's mistake, in the emulator's words.
    const AppError e = CaughtError([&] {
        Call(*control, dispid::kGetScreenField, {DispArg::Text("NOPE"), DispArg::Long(2)});
    });
    EXPECT_EQ(e.Number(), static_cast<int32_t>(E_INVALIDARG));
    EXPECT_EQ(e.Source(), "kt4r_control");
    EXPECT_EQ(e.Description(), "There is no field \"NOPE\" on the screen of session C");
    // Only the two getters have a result.
    EXPECT_EQ(RawInvoke(dispatch, 24, {}).resultType, VT_EMPTY);
    EXPECT_EQ(RawInvoke(dispatch, 36, {Text(L"WLNAM"), Long(2)}).resultType, VT_BSTR);
    std::lock_guard lock(emulator.mutex);
    EXPECT_FALSE(emulator.core.Screens().Session(2).attached);
}

// The screen text comes from the board the emulator shares, with no request, and each question
// is counted for the emulator to list. Without a board, past what a slot holds, for another
// kind of information or session, or once the emulator has withdrawn, the emulator is asked.
TEST_F(HostControlStandin, AnswersTheScreenTextFromTheEmulatorsBoardAndCountsEachQuestion) {
    InProcessEmulator emulator;
    ASSERT_TRUE(emulator.server.Started());
    const auto control = ::ostrel::win32::CreateHostControl();
    const auto screenText = [&](int32_t kind = 4, int32_t session = 2) {
        return Call(*control, dispid::kGetSessionInfo,
                    {DispArg::Long(kind), DispArg::Long(session)});
    };
    const auto requests = [&] {
        std::lock_guard lock(emulator.mutex);
        return emulator.requests;
    };
    const auto show = [&](const std::string& text, win32::ScreenBoardWriter* board) {
        std::lock_guard lock(emulator.mutex);
        emulator.core.Screens().SetScreenText(2, text);
        if (board) board->Publish(emulator.core.Screens());
    };
    show("Payment Entry", nullptr);
    EXPECT_EQ(screenText(), "Payment Entry");
    EXPECT_EQ(requests(), 1u);

    win32::ScreenBoardWriter board;
    const struct {
        std::string text;
        size_t requests;
        LONG answered;
    } rows[] = {
        {"Payment Entry", 1, 1},
        {"Guest Folio", 1, 1},
        {std::string(300, 'x'), 2, 0},
        {"", 2, 1},
    };
    for (const auto& row : rows) {
        show(row.text, &board);
        EXPECT_EQ(screenText(), row.text);
        EXPECT_EQ(requests(), row.requests) << row.text;
        EXPECT_EQ(board.TakeAnswered()[2], row.answered) << row.text;
    }
    for (const auto& [kind, session] : {std::pair{3, 2}, std::pair{4, 25}}) {
        EXPECT_EQ(CaughtError([&] { screenText(kind, session); }).Number(),
                  static_cast<int32_t>(E_INVALIDARG));
    }
    EXPECT_EQ(requests(), 4u);
    board.Withdraw();
    show("Front Desk", &board);
    EXPECT_EQ(screenText(), "Front Desk");
    EXPECT_EQ(requests(), 5u);
    EXPECT_EQ(board.TakeAnswered()[2], 0);
}

TEST_F(HostControlStandin, WithoutTheEmulatorEveryOperationSaysItIsNotRunning) {
    ASSERT_FALSE(win32::CallEmulator({"pending"}, 200)) << "an emulator is running";
    const auto control = ::ostrel::win32::CreateHostControl();
    CardText text = "x";
    const std::pair<int32_t, std::vector<DispArg>> calls[] = {
        {dispid::kAttachSession, {DispArg::Long(0), DispArg::Long(3)}},
        {dispid::kDetachSession, {}},
        {dispid::kPutScreenField,
         {DispArg::Text("WFNAM"), DispArg::Long(0), DispArg::TextRef(text), DispArg::Long(0)}},
        {dispid::kPutScreenValue,
         {DispArg::Text("WFNAM"), DispArg::Long(0), DispArg::Text("x"), DispArg::Long(0)}},
        {dispid::kPutScreenFlag,
         {DispArg::Text("CCScanCard"), DispArg::Text("Y"), DispArg::Long(1), DispArg::Long(0)}},
        {dispid::kGetScreenField, {DispArg::Text("WFNAM"), DispArg::Long(0)}},
        {dispid::kGetSessionInfo, {DispArg::Long(4), DispArg::Long(0)}},
    };
    for (const auto& [id, args] : calls) {
        const AppError e = CaughtError([&] { Call(*control, id, args); });
        EXPECT_EQ(e.Number(), static_cast<int32_t>(RPC_E_DISCONNECTED)) << id;
        EXPECT_NE(e.Description().find("kt4r.exe is not running"), std::string::npos) << id;
    }
}

}  // namespace
}  // namespace ostrel::training
