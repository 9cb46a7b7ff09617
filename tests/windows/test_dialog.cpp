// Dialogs from the templates of test_dialog.rc and the controls on them:
// creation, the message filter, modal runs pressed from another thread, the
// message font from Vista on, and the typed controls against real ones.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/app/resources.h"
#include "framework/windows/wincontrols_win32.h"
#include "framework/windows/windows_win32.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"
#include "tests/windows/test_dialog.h"

using namespace TESTSUPPORT;

namespace
{
    // Records the handlers a dialog's messages reach, and what DlgProc answered.
    class RECORDINGDIALOG : public DIALOG
    {
    public:
        RECORDINGDIALOG(int id, HWND parent) : DIALOG(id, parent, GetModuleHandleA(0)) {}
        std::vector<std::string> Calls;
        LRESULT LastAnswer = -1;
        int FocusOnCreate = 0;
        UINT Taken = 0;   // PreTranslate takes this message

        LRESULT DlgProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            LastAnswer = DIALOG::DlgProc(message, wParam, lParam);
            return LastAnswer;
        }
        int PreTranslate(MSG* message) override { return Taken && message->message == Taken; }
        int OnCreate() override
        {
            if (FocusOnCreate)
                ::SetFocus(GetDlgItem(hWnd, FocusOnCreate));
            return Record("create");
        }
        LRESULT OnControlNotify(int code, HWND control, LPARAM extra) override
        {
            return Record("notify " + std::to_string(code) + " " + std::to_string(GetDlgCtrlID(control)) + " " +
                          std::to_string(extra));
        }
        LRESULT OnOwnerDraw(UINT message, WPARAM, LPARAM) override { return Record("ownerdraw " + std::to_string(message)); }
        int OnSize() override { return Record("size"); }
        LRESULT OnUserMessage(UINT message, WPARAM, LPARAM) override { return Record("user " + std::to_string(message)); }
        int OnEndSession() override { return Record("endsession"); }
        int OnPaint() override { return Record("paint"); }

    private:
        int Record(const std::string& call)
        {
            Calls.push_back(call);
            return 0;
        }
    };

    void Pump() { WINDOW::WinProcessMessages(1000); }

    // A visible owner window in the middle of the screen.
    class OWNER
    {
    public:
        OWNER() : Window(CreateWindowExA(0, "Static", "owner", WS_POPUP | WS_VISIBLE, 300, 200, 500, 400, 0, 0, 0, 0)) {}
        ~OWNER() { DestroyWindow(Window); }
        HWND Window;
    };
}

TEST(Dialog, FromATemplateIsCentredOnItsOwnerAndNumberedByItsResource)
{
    OWNER owner;
    RECORDINGDIALOG dialog(IDD_CONTROLS, owner.Window);
    ASSERT_NE(nullptr, dialog.Hwnd());
    EXPECT_EQ(IDD_CONTROLS, GetWindowLongPtrA(dialog.Hwnd(), GWL_ID));
    RECT own, mine;
    GetWindowRect(owner.Window, &own);
    GetWindowRect(dialog.Hwnd(), &mine);
    EXPECT_NEAR(own.left + own.right, mine.left + mine.right, 1);
    EXPECT_NEAR(own.top + own.bottom, mine.top + mine.bottom, 1);
    EXPECT_TRUE(dialog.Calls.empty()) << "OnCreate must wait for the message loop";
    Pump();
    EXPECT_EQ(std::vector<std::string>{"create"}, dialog.Calls);
    EXPECT_EQ(IDD_CONTROLS, BASEWINDOW::Init(dialog.Hwnd()));

    HWND window;
    {
        RECORDINGDIALOG scoped(IDD_OLDSTYLE, 0);
        window = scoped.Hwnd();
        EXPECT_TRUE(IsWindow(window));
    }
    EXPECT_FALSE(IsWindow(window)) << "a dialog owns its window";

    ASSERTSPY spy;
    RECORDINGDIALOG broken(IDD_MISSING, owner.Window);
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("this->hWnd", spy.Last().Condition);
    EXPECT_EQ("299", spy.Last().Info);
    EXPECT_EQ(nullptr, broken.Hwnd());
}

TEST(Dialog, MessageFilterLeavesTheRestToTheDialogManager)
{
    RECORDINGDIALOG dialog(IDD_CONTROLS, 0);
    Pump();
    HWND list = GetDlgItem(dialog.Hwnd(), IDC_LIST);
    POINT inList = {5, 6};
    ClientToScreen(list, &inList);
    POINT client = inList;
    ScreenToClient(dialog.Hwnd(), &client);
    MEASUREITEMSTRUCT measure = {ODT_LISTBOX, IDC_LIST, 0, 0, 0, 0};
    const struct { UINT Message; WPARAM W; LPARAM L; std::vector<std::string> Calls; LRESULT Answer; } rows[] = {
        {WM_QUERYENDSESSION, 0, 0, {}, 0},
        {WM_PAINT, 0, 0, {}, 0},
        {WM_SIZE, SIZE_RESTORED, 0, {"size"}, 0},
        {WM_ENDSESSION, 1, 0, {"endsession"}, 0},
        {WM_USER + 5, 0, 0, {"user 1029"}, 0},
        {WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(inList.x, inList.y),
         {"notify 6 " + std::to_string(IDC_LIST) + " " + std::to_string((LPARAM)MAKELPARAM(client.x, client.y))}, 0},
        {WM_CONTEXTMENU, (WPARAM)dialog.Hwnd(), 0, {}, 0},
        {WM_MEASUREITEM, IDC_LIST, (LPARAM)&measure, {"ownerdraw " + std::to_string(WM_MEASUREITEM)}, 0},
    };
    for (const auto& row : rows)
    {
        dialog.Calls.clear();
        dialog.LastAnswer = -1;
        SendMessageA(dialog.Hwnd(), row.Message, row.W, row.L);
        EXPECT_EQ(row.Calls, dialog.Calls) << "message " << row.Message;
        EXPECT_EQ(row.Answer, dialog.LastAnswer) << "message " << row.Message;
    }
    int32_t id = -1;
    SendMessageA(dialog.Hwnd(), 0x4FA, (WPARAM)&id, 0);
    EXPECT_EQ(IDD_CONTROLS, id);
    EXPECT_EQ(1, dialog.LastAnswer);
}

TEST(Dialog, RunModalEndsWithThePressedButtonAndEnablesItsOwnerAgain)
{
    OWNER owner;
    const struct { int Press, Result; } rows[] = {{IDC_OTHER, IDC_OTHER}, {IDOK, IDOK}, {IDCANCEL, 0}, {0, 0}};   // 0: close
    for (const auto& row : rows)
    {
        RECORDINGDIALOG dialog(IDD_CONTROLS, owner.Window);
        dialog.Taken = WM_USER + 7;
        PostMessageA(dialog.Hwnd(), WM_USER + 7, 0, 0);
        // Pressed as a person would: once the dialog shows, from another thread.
        bool dialogWasVisible = false, ownerWasEnabled = true;
        std::thread person([&] {
            for (int i = 0; i < 200 && !IsWindowVisible(dialog.Hwnd()); i++)
                Sleep(25);
            dialogWasVisible = IsWindowVisible(dialog.Hwnd()) != 0;
            ownerWasEnabled = IsWindowEnabled(owner.Window) != 0;
            if (row.Press && IsWindowEnabled(GetDlgItem(dialog.Hwnd(), row.Press)))
                PressButton(dialog.Hwnd(), row.Press);
            else
                PostMessageA(dialog.Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        int result = dialog.RunModal();
        person.join();
        EXPECT_EQ(row.Result, result) << "button " << row.Press;
        EXPECT_TRUE(dialogWasVisible);
        EXPECT_FALSE(ownerWasEnabled) << "the owner stays disabled during the run";
        EXPECT_TRUE(IsWindowEnabled(owner.Window));
        EXPECT_FALSE(IsWindowVisible(dialog.Hwnd()));
        for (const auto& call : dialog.Calls)
            EXPECT_NE("user " + std::to_string(WM_USER + 7), call) << "PreTranslate took it";
    }
}

// Items whose data reads "##ICON=n##" are measured and drawn by the dialog
// procedure itself; a selection field behind an edit matches the edit's height.
TEST(Dialog, OwnerDrawnComboItemsShowIcons)
{
    void* resources = TARNIAPP::ResourceModule();
    TARNIAPP::SetResourceModule(GetModuleHandleA(0));
    RECORDINGDIALOG dialog(IDD_OWNERDRAW, 0);
    RECT edit;
    GetWindowRect(GetDlgItem(dialog.Hwnd(), IDC_BUDDY), &edit);
    const int iconHeight = WINDOW::DpiScaleOf(dialog.Hwnd()) * 16 / 100 + 4;
    static const char icon[] = "##ICON=1##";
    const struct { int Combo; UINT Item; const char* Data; int Height; bool PassedOn; } measures[] = {   // 99: unchanged
        {IDC_FIXEDCOMBO, (UINT)-1, nullptr, (int)(edit.bottom - edit.top - 3), true},   // behind the edit
        {IDC_ICONCOMBO, (UINT)-1, nullptr, iconHeight, true},
        {IDC_ICONCOMBO, 0, icon, iconHeight, false},
        {IDC_ICONCOMBO, 0, "plain", 99, true},
    };
    for (const auto& row : measures)
    {
        dialog.Calls.clear();
        MEASUREITEMSTRUCT item = {ODT_COMBOBOX, (UINT)row.Combo, row.Item, 99, 99, (ULONG_PTR)row.Data};
        SendMessageA(dialog.Hwnd(), WM_MEASUREITEM, row.Combo, (LPARAM)&item);
        EXPECT_EQ(row.Height, (int)item.itemHeight) << row.Combo << " " << row.Item;
        EXPECT_EQ(row.PassedOn, !dialog.Calls.empty()) << row.Combo << " " << row.Item;
    }
    HWND combo = GetDlgItem(dialog.Hwnd(), IDC_ICONCOMBO);

    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 20);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const struct { const char* Data; UINT State; int Color; } rows[] = {   // -1: left to the dialog's handler
        {icon, ODS_SELECTED, COLOR_HIGHLIGHT}, {icon, 0, COLOR_WINDOW}, {"plain", 0, -1}};
    for (const auto& row : rows)
    {
        dialog.Calls.clear();
        DRAWITEMSTRUCT item = {ODT_COMBOBOX, IDC_ICONCOMBO, 0, ODA_DRAWENTIRE, row.State, combo, memory,
                               {0, 0, 40, 20}, (ULONG_PTR)row.Data};
        SendMessageA(dialog.Hwnd(), WM_DRAWITEM, IDC_ICONCOMBO, (LPARAM)&item);
        EXPECT_EQ(row.Color == -1, !dialog.Calls.empty()) << row.Data;
        EXPECT_TRUE(row.Color == -1 || GetSysColor(row.Color) == GetPixel(memory, 30, 10)) << row.Data;
    }
    DeleteObject(SelectObject(memory, old));
    DeleteDC(memory);
    ReleaseDC(0, screen);
    TARNIAPP::SetResourceModule(resources);
}

TEST(Dialog, Control800DecidesWhetherTheManagerSetsTheFocus)
{
    const struct { int Template, Focus; } rows[] = {{IDD_FOCUSRC0, 0}, {IDD_FOCUSPLAIN, IDC_FIRSTEDIT}};
    for (const auto& row : rows)
    {
        SetFocus(0);
        RECORDINGDIALOG dialog(row.Template, 0);
        dialog.FocusOnCreate = IDOK;
        EXPECT_EQ(row.Focus ? GetDlgItem(dialog.Hwnd(), row.Focus) : 0, GetFocus()) << "template " << row.Template;
        Pump();
        EXPECT_EQ(GetDlgItem(dialog.Hwnd(), IDOK), GetFocus()) << "template " << row.Template;
    }
}

namespace
{
    // The message font of the prefix, for programs started while in scope.
    class MESSAGEFONT
    {
    public:
        MESSAGEFONT(const wchar_t* face, int points)
        {
            Saved.cbSize = sizeof(Saved);
            SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(Saved), &Saved, 0);
            NONCLIENTMETRICSW metrics = Saved;
            wcscpy(metrics.lfMessageFont.lfFaceName, face);
            metrics.lfMessageFont.lfHeight = -MulDiv(points, 96, 72);
            SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(metrics), &metrics, SPIF_UPDATEINIFILE);
        }
        ~MESSAGEFONT() { SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(Saved), &Saved, SPIF_UPDATEINIFILE); }

    private:
        NONCLIENTMETRICSW Saved;
    };
}

// Runs in a copy of this program that Wine tells a Windows version of its
// own; writes the dialog's font and whether every control lies inside it.
TEST(DialogFont, DISABLED_Report)
{
    RECORDINGDIALOG dialog(IDD_CONTROLS, 0);
    LOGFONTA font = {};
    GetObjectA((HFONT)SendMessageA(dialog.Hwnd(), WM_GETFONT, 0, 0), sizeof(font), &font);
    RECT client;
    GetClientRect(dialog.Hwnd(), &client);
    bool inside = true;
    for (HWND child = GetWindow(dialog.Hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    {
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(0, dialog.Hwnd(), reinterpret_cast<POINT*>(&rect), 2);
        inside = inside && rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom;
    }
    char report[MAX_PATH] = "";
    GetEnvironmentVariableA("DLGTEST_OUT", report, sizeof(report));
    WriteFile(report, std::string(font.lfFaceName) + "|" + std::to_string(MulDiv(-font.lfHeight, 72, 96)) + "|" +
                          (inside ? "inside" : "outside"));
}

TEST(DialogFont, MessageFontReplacesMsShellDlgFromVistaOn)
{
    MESSAGEFONT tahoma(L"Tahoma", 9);
    const struct { const char* Program; const char* Version; const char* Report; } rows[] = {
        {"dlgxp.exe", "winxp", "MS Shell Dlg|8|inside"}, {"dlgwin7.exe", "win7", "Tahoma|9|inside"}};
    for (const auto& row : rows)
    {
        TEMPDIR dir("font");
        std::string copy = dir.File(row.Program);
        ASSERT_TRUE(CopyFileA(SelfPath().c_str(), copy.c_str(), FALSE));
        APPVERSION version(row.Program, row.Version);
        CHILD child;
        ASSERT_TRUE(child.Start("\"" + copy + "\" --gtest_also_run_disabled_tests --gtest_filter=DialogFont.DISABLED_Report",
                                dir.Path(), {"DLGTEST_OUT=" + dir.File("report.txt")}));
        EXPECT_EQ(0, child.Wait(30000)) << row.Program;
        EXPECT_EQ(row.Report, ReadFile(dir.File("report.txt"))) << row.Program;
    }
}

namespace
{
    std::vector<std::wstring> Items(LISTCONTROL& control)
    {
        std::vector<std::wstring> items;
        for (int i = 0; i < control.Count(); i++)
        {
            wchar_t text[64] = L"";
            SendMessageW(control.Hwnd(), control.IsListBox() ? LB_GETTEXT : CB_GETLBTEXT, i, (LPARAM)text);
            items.push_back(text);
        }
        return items;
    }

    std::vector<UINT> gUpDownMessages;
    WNDPROC gUpDownProcedure;
    LRESULT CALLBACK RecordUpDown(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message >= WM_USER)
            gUpDownMessages.push_back(message);
        return CallWindowProcA(gUpDownProcedure, window, message, wParam, lParam);
    }
}

TEST(Controls, ListAndComboBoxesShareTheirOperations)
{
    RECORDINGDIALOG dialog(IDD_CONTROLS, 0);
    STRINGARRAY more;
    more.AddItem("x");
    more.AddItem("y");
    for (int id : {IDC_LIST, IDC_COMBO})
    {
        LISTCONTROL control(dialog.Hwnd(), id);
        EXPECT_EQ(id == IDC_LIST, control.IsListBox());
        control.AddItem("alpha");
        control.AddItem("b\xe4ta");   // code page 1252
        EXPECT_EQ(2, control.InsertItems(more, 1));
        EXPECT_EQ(2, control.InsertItems(more, -1));
        control.SelectItem(2, true);
        control.ReplaceItem(2, "why");
        control.ReplaceItem(1, "ex");
        EXPECT_EQ((std::vector<std::wstring>{L"alpha", L"ex", L"why", L"b\u00e4ta", L"x", L"y"}), Items(control)) << id;
        EXPECT_TRUE(control.IsSelected(2)) << id;
        EXPECT_FALSE(control.IsSelected(1)) << id;
        EXPECT_EQ(1, control.SelectedCount()) << id;
        EXPECT_EQ(3, control.FindItem("B\xe4")) << id;
        EXPECT_EQ(-1, control.FindItem("zzz")) << id;
        control.SelectItem(2, false);
        control.DeleteItem(0);
        EXPECT_FALSE(control.IsSelected(1)) << id;
        EXPECT_EQ(5, control.Count()) << id;
    }
    LISTCONTROL multiple(dialog.Hwnd(), IDC_MULTILIST);
    multiple.InsertItems(more, -1);
    multiple.InsertItems(more, -1);
    multiple.SelectItem(1, true);
    multiple.SelectItem(3, true);
    EXPECT_EQ(2, multiple.SelectedCount());
    EXPECT_TRUE(multiple.IsSelected(1) && multiple.IsSelected(3) && !multiple.IsSelected(2));
}

TEST(Controls, SettingACheckBoxFromCodeIsSeenAsAClick)
{
    RECORDINGDIALOG dialog(IDD_CONTROLS, 0);
    Pump();
    BUTTONCONTROL check(dialog.Hwnd(), IDC_CHECK);
    dialog.Calls.clear();
    check.SetCheck(BST_CHECKED);
    std::vector<std::string> fromCode = dialog.Calls;
    EXPECT_EQ(BST_CHECKED, check.GetCheck());
    dialog.Calls.clear();
    SendMessageA(check.Hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(BST_UNCHECKED, check.GetCheck());
    EXPECT_EQ(std::vector<std::string>{"notify 0 " + std::to_string(IDC_CHECK) + " 0"}, fromCode);
    EXPECT_EQ(fromCode, dialog.Calls);
    check.SetUnchecked(0);
    EXPECT_EQ(BST_CHECKED, check.GetCheck());
}

TEST(Controls, UpDownUsesThe16BitMessagesWhereTheValuesFit)
{
    RECORDINGDIALOG dialog(IDD_CONTROLS, 0);
    UPDOWNCONTROL updown(dialog.Hwnd(), IDC_UPDOWN);
    gUpDownProcedure = (WNDPROC)SetWindowLongPtrA(updown.Hwnd(), GWLP_WNDPROC, (LONG_PTR)RecordUpDown);
    const struct { int Low, High, Value; std::vector<UINT> Sent; int RangeLow, RangeHigh, Limit; } rows[] = {
        {0, 70000, 70000, {UDM_GETBUDDY, UDM_GETRANGE32, UDM_SETRANGE32, UDM_SETPOS32, UDM_GETPOS32}, 0, 70000, 5},
        {0, 100, 50, {UDM_GETBUDDY, UDM_SETRANGE, UDM_SETPOS}, 0, 100, 3},
        {100, 5, 7, {UDM_GETBUDDY, UDM_SETRANGE, UDM_SETPOS}, 5, 100, 1},
        {-5, 100, -3, {UDM_GETBUDDY, UDM_SETRANGE, UDM_SETPOS}, -5, 100, 4},
    };
    for (const auto& row : rows)
    {
        gUpDownMessages.clear();
        updown.SetRangeAndPosition(row.Low, row.High, row.Value);
        EXPECT_EQ(row.Sent, gUpDownMessages) << row.Low << ".." << row.High;
        int low = 0, high = 0;
        SendMessageA(updown.Hwnd(), UDM_GETRANGE32, (WPARAM)&low, (LPARAM)&high);
        int limit = (int)SendDlgItemMessageA(dialog.Hwnd(), IDC_BUDDY, EM_GETLIMITTEXT, 0, 0);
        EXPECT_EQ((std::vector<int>{row.RangeLow, row.RangeHigh, row.Value, row.Limit}),
                  (std::vector<int>{low, high, updown.GetPosition(), limit})) << row.Low << ".." << row.High;
    }
    SetWindowLongPtrA(updown.Hwnd(), GWLP_WNDPROC, (LONG_PTR)gUpDownProcedure);
}

TEST(Controls, NewControlTakesThePlaceholdersPlaceOrNoWindowAtAll)
{
    RECORDINGDIALOG dialog(IDD_CONTROLS, 0);
    HWND placeholder = GetDlgItem(dialog.Hwnd(), IDC_PLACEHOLDER);
    RECT before;
    GetWindowRect(placeholder, &before);
    HWND created;
    {
        EDITCONTROL edit(dialog.Hwnd(), IDC_NEWCONTROL, 0, IDC_PLACEHOLDER, "new");
        created = edit.Hwnd();
        ASSERT_NE(nullptr, created);
        RECT after;
        GetWindowRect(created, &after);
        EXPECT_TRUE(EqualRect(&before, &after));
        EXPECT_EQ(created, GetWindow(placeholder, GW_HWNDNEXT));
        EXPECT_EQ(WS_VISIBLE, (GetWindowLongA(placeholder, GWL_STYLE) ^ GetWindowLongA(created, GWL_STYLE)) & WS_VISIBLE);
        EXPECT_EQ(SendMessageA(dialog.Hwnd(), WM_GETFONT, 0, 0), SendMessageA(created, WM_GETFONT, 0, 0));
    }
    EXPECT_FALSE(IsWindow(created)) << "a created control goes with its object";

    ASSERTSPY spy;
    CONTROL broken(dialog.Hwnd(), IDC_NEWCONTROL, "NoSuchClass", 0, 0, 0, 10, 10);
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("this->hWnd", spy.Last().Condition);
    EXPECT_EQ(nullptr, broken.Hwnd());
    EXPECT_EQ(nullptr, GetDlgItem(dialog.Hwnd(), IDC_NEWCONTROL));
}
