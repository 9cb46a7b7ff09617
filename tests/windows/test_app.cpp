// The application object and its main loop, menus on a real menu resource,
// and the taskbar icon under Wine's notification area and through its seam.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/app/logit.h"
#include "framework/windows/winapp_win32.h"
#include "framework/windows/windows_win32.h"
#include "tests/support/assertspy.h"
#include "tests/support/testsupport.h"
#include "tests/windows/test_app.h"

namespace
{
    typedef std::vector<std::vector<LONG_PTR>> ROWS;

    // Records its events; on APPLICATION_OPEN it runs the test's set-up.
    struct TESTAPP : APPLICATION
    {
        ROWS Rows;
        std::function<void()> OnOpen = [] { PostQuitMessage(0); };
        LRESULT Message(int event, WPARAM wParam, LPARAM lParam, LPARAM extra) override
        {
            Rows.push_back({event, (LONG_PTR)wParam, lParam, extra});
            if (event == APPLICATION_OPEN)
                OnOpen();
            return 0;
        }
    };

    // Answers the accelerator query with answer and, when own, a table of
    // its own; records the commands it receives.
    struct KEYWINDOW : WINDOW
    {
        KEYWINDOW(const char* className, LRESULT answer, bool own)
            : WINDOW(WS_OVERLAPPEDWINDOW | WS_VISIBLE, "keys", 10, 10, 200, 100, 0, 0, 0, className), Answer(answer),
              Own(own ? LoadAcceleratorsA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDA_WINKEYS)) : 0) {}
        ~KEYWINDOW() override
        {
            if (Own)
                DestroyAcceleratorTable(Own);
        }
        LRESULT WinProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message != WM__QUERYACCELERATORS || !wParam)
                return WINDOW::WinProc(message, wParam, lParam);
            *reinterpret_cast<HACCEL*>(wParam) = Own;
            return Answer;
        }
        int OnMenuCommand(int id) override { return Commands.push_back(id), 1; }
        std::vector<int> Commands;
        LRESULT Answer;
        HACCEL Own;
    };
}

TEST(Application, EventsReachMessageFromTheMainLoopAndTheModalLoop)
{
    KEYWINDOW window("TarniAppEvents", 1, false);
    TESTAPP app;
    app.OnOpen = [&] {
        PostThreadMessageA(GetCurrentThreadId(), WM__APPMESSAGE, 7, 99);
        PostMessageA(window.Hwnd(), WM__APPMESSAGE, 0x10, -5);
        PostQuitMessage(3);
    };
    EXPECT_EQ(0, app.Run());   // returns on WM_QUIT
    DIALOG dialog(IDD_APPDIALOG, 0, GetModuleHandleA(0));
    PostThreadMessageA(GetCurrentThreadId(), WM__APPMESSAGE, 9, 42);
    dialog.EndModal(5);
    EXPECT_EQ(5, dialog.RunModal());
    EXPECT_EQ((ROWS{{APPLICATION::APPLICATION_OPEN, 0, 0, 0}, {7, 0, 99, 0}, {0x10, 0, -5, 0}, {9, 0, 42, 0}}), app.Rows);
}

TEST(Application, AcceleratorsFollowTheActiveWindow)
{
    const struct
    {
        const char* ClassName;
        LRESULT Answer;
        bool Own;
        std::vector<int> Commands;
    } cases[] = {
        {"TarniAppKeys", 1, false, {IDM_NEW}},     // the application's class: its table
        {"TarniAppKeys", 1, true, {IDM_NEW}},      // the class wins over the window's table
        {"TarniAppOther", 1, false, {}},           // another class without a table of its own
        {"TarniAppOther", 1, true, {IDM_EXIT}},    // the table the window answers
        {"TarniAppOther", 0, true, {}},            // a window answering 0 gets none
    };
    for (const auto& c : cases)
    {
        KEYWINDOW window(c.ClassName, c.Answer, c.Own);
        TESTAPP app;
        app.SetAccelerators(IDA_APPKEYS, "TarniAppKeys");
        bool active = false;
        app.OnOpen = [&] {
            SetForegroundWindow(window.Hwnd());
            active = GetActiveWindow() == window.Hwnd();
            PostMessageA(window.Hwnd(), WM_KEYDOWN, VK_F2, 1);
            PostQuitMessage(0);
        };
        app.Run();
        EXPECT_TRUE(active);
        EXPECT_EQ(c.Commands, window.Commands) << c.ClassName << " answer " << c.Answer << " own " << c.Own;
    }
}

TEST(Application, PlainLoopTranslatesOnlyWhileItsWindowIsActive)
{
    KEYWINDOW window("TarniAppPlain", 1, false), other("TarniAppPlain", 1, false);
    for (KEYWINDOW* active : {&window, &other})
    {
        SetForegroundWindow(active->Hwnd());
        PostMessageA(active->Hwnd(), WM_KEYDOWN, VK_F2, 1);
        PostQuitMessage(0);
        TARNIAPP::MainDispatchLoop(window.Hwnd(), IDA_APPKEYS);
    }
    EXPECT_EQ(std::vector<int>{IDM_NEW}, window.Commands);
    EXPECT_TRUE(other.Commands.empty());
}

TEST(Application, HotKeysTypedIntoAPlainControlReachTheFilterInBothLoops)
{
    const std::string defaultLog = TESTSUPPORT::SystemFolder(18) + "\\Tarni_APPLICATION_logit.log";
    const std::function<void()> loops[] = {
        [] { TESTAPP().Run(); },
        [] { TARNIAPP::MainDispatchLoop(0, 0); },
    };
    for (const auto& loop : loops)
    {
        KEYWINDOW window("TarniAppHotKeys", 1, false);
        HWND edit = CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 100, 20, window.Hwnd(), 0, 0, 0);
        ASSERT_TRUE(edit != 0);
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0x80;   // held down
        SetKeyboardState(keys);
        PostMessageA(edit, WM_KEYDOWN, VK_F5, 1);   // Ctrl+Shift+F5 opens the default log
        PostQuitMessage(0);
        loop();
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        EXPECT_TRUE(LogitIsEnabled());
        LogitOption("/LOGITCLOSE");
        DeleteFileA(defaultLog.c_str());
    }
}

TEST(Application, SecondObjectIsReportedAndBecomesCurrent)
{
    ASSERTSPY spy;
    {
        TESTAPP first;
        TESTAPP second;
        EXPECT_EQ(&second, APPLICATION::Current());
        ASSERT_EQ(1u, spy.Count());
        EXPECT_EQ("APPLICATION::pCurrentInstance==NULL", spy.Last().Condition);
    }
    ASSERT_EQ(2u, spy.Count());   // the first one goes when it is no longer current
    EXPECT_EQ("APPLICATION::pCurrentInstance==this", spy.Last().Condition);
    EXPECT_EQ(nullptr, APPLICATION::Current());
}

namespace
{
    std::string Narrow(const WSTRING& text) { return STRING(text, 1252).Text(); }
}

TEST(Menu, IdFromNameMatchesCleanedTextOrTextBeforeTabDepthFirst)
{
    MENU menu(IDM_APPMENU, GetModuleHandleA(0));
    ASSERT_TRUE(menu.Handle());
    const struct
    {
        const char* Name;
        int Id;
    } cases[] = {
        {"open", IDM_RECENT},       // cleaned, case ignored; inside a submenu before the top-level twin
        {"&Open...", IDM_RECENT},   // the text before the tab
        {"Open...", -1},            // neither
        {"Exit", IDM_EXIT},
        {"&Open...\tCtrl+O", -1},   // the accelerator part never matches
        {"Recent", -1},             // submenu entries are not answered
        {"missing", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Id, menu.GetMenuIdFromName(c.Name)) << c.Name;
}

TEST(Menu, OperationsOnItemsBySubmenuPositionAndId)
{
    WINDOW window(WS_OVERLAPPEDWINDOW, "menu", 10, 10, 200, 100);
    SetMenu(window.Hwnd(), LoadMenuA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDM_APPMENU)));
    MENU bar(window.Hwnd());
    HMENU file = GetSubMenu(bar.Handle(), 0);
    ASSERT_TRUE(file);
    EXPECT_EQ("&Open...\tCtrl+O", Narrow(bar.GetMenuItemText(IDM_RECENT, false)));
    EXPECT_EQ("&Open...\tCtrl+Shift+O", Narrow(bar.GetMenuItemText(1, true)));
    EXPECT_EQ("", Narrow(bar.GetMenuItemText(999, false)));
    EXPECT_EQ((std::vector<HMENU>{GetSubMenu(file, 1), file, 0}),
              (std::vector<HMENU>{bar.FindSubMenu(IDM_RECENT), bar.FindSubMenu(IDM_EXIT), bar.FindSubMenu(999)}));
    EXPECT_TRUE(bar.CheckItem(IDM_NEW, true) && bar.EnableItem(IDM_EXIT, false));
    EXPECT_EQ((UINT)(MF_CHECKED | MF_GRAYED), (GetMenuState(file, IDM_NEW, 0) | GetMenuState(file, IDM_EXIT, 0)) & (MF_CHECKED | MF_GRAYED));

    MENU items(file, window.Hwnd(), false);
    ASSERTSPY spy;
    items.DeleteMenuItemSeparator(0, false);   // "&New" stays, reported
    ASSERT_EQ(1u, spy.Count());
    EXPECT_EQ("nowarn || item_is_separator", spy.Last().Condition);
    items.DeleteMenuItemSeparator(0, true);
    items.DeleteMenuItemSeparator(2, false);
    EXPECT_EQ(1u, spy.Count());
    EXPECT_EQ((std::vector<int>{3, IDM_EXIT}), (std::vector<int>{items.ItemCount(), items.ItemId(2)}));
    EXPECT_TRUE(items.DeleteItem(IDM_EXIT, false));
    EXPECT_FALSE(items.DeleteItem(IDM_EXIT, false));
}

TEST(Menu, DeepNestingAndLongTextsAreFound)
{
    HMENU root = CreatePopupMenu();
    HMENU parent = root;
    for (int level = 0; level < 20; level++)
    {
        HMENU sub = CreatePopupMenu();
        AppendMenuA(parent, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "level");
        parent = sub;
    }
    std::string text = std::string(299, 'x') + 'Z';
    AppendMenuA(parent, MF_STRING, 900, text.c_str());
    MENU menu(root, 0, true);
    EXPECT_EQ(900, menu.GetMenuIdFromName(text.c_str()));
    EXPECT_EQ(parent, menu.FindSubMenu(900));
    EXPECT_EQ(text.substr(0, 256), Narrow(menu.GetMenuItemText(900, false)));
    EXPECT_EQ(-1, menu.GetMenuIdFromName(text.substr(0, 256).c_str()));
}

namespace
{
    // What reached the shell, one line a call.
    std::vector<std::string> gShellCalls;
    DWORD gFailing = (DWORD)-1;

    BOOL WINAPI FakeShell(DWORD message, NOTIFYICONDATAA* d)
    {
        const char* names[] = {"ADD", "MODIFY", "DELETE"};
        char line[1024];
        snprintf(line, sizeof(line), "%s %lu %x %x %s|%s|%s|%u|%lx|%d", message < 3 ? names[message] : "?",
                 (unsigned long)d->cbSize, d->uFlags, d->uCallbackMessage, d->szTip, d->szInfoTitle, d->szInfo,
                 d->uTimeout, (unsigned long)d->dwInfoFlags, d->hIcon != 0);
        gShellCalls.push_back(line);
        return message != gFailing;
    }

    // The shell calls go to FakeShell while in scope; failing names the one that fails.
    struct SHELLSEAM
    {
        explicit SHELLSEAM(DWORD failing = (DWORD)-1) : Previous(TASKBARICON::SetShellFunction(FakeShell))
        {
            gShellCalls.clear();
            gFailing = failing;
        }
        ~SHELLSEAM() { TASKBARICON::SetShellFunction(Previous); }
        NOTIFYICONFUNCTION Previous;
    };

    std::string Small(const char* call) { return STRING::Sprintf(call, (unsigned)TASKBARICON::SMALLSIZE).Text(); }
}

TEST(TaskbarIcon, WineNotificationAreaTakesEveryChange)
{
    WINDOW owner(WS_OVERLAPPEDWINDOW, "owner", 10, 10, 200, 100);
    TASKBARICON icon(owner.Hwnd(), 1, IDI_APPICON, "Tarni & Co");
    EXPECT_TRUE(icon.IsRunning());
    EXPECT_TRUE(icon.SetTooltip("Tarni"));
    EXPECT_TRUE(icon.SetBalloon(NIIF_INFO, "Title", "Text", -1));
    EXPECT_TRUE(icon.SetIcon(IDI_APPICON));
    EXPECT_TRUE(icon.Remove(false));
    EXPECT_FALSE(icon.IsRunning());
}

TEST(TaskbarIcon, TextsReachTheShellEscapedAndCut)
{
    SHELLSEAM seam;
    ASSERTSPY spy;
    TASKBARICON icon(0, 3, IDI_APPICON, "A&B");
    TASKBARICON bare(0, 4, 77, 0);   // no such icon: reported, added without one
    EXPECT_EQ(1u, spy.Count());
    icon.SetTooltip("Tom & Jerry");
    icon.SetTooltip(std::string(30, '&').c_str());
    icon.SetTooltip(std::string(10000, 'y').c_str());
    icon.SetTooltip(0);
    icon.SetBalloon(NIIF_WARNING, "Title", "Text", -1);
    icon.SetIcon(IDI_APPICON);
    icon.Remove(false);
    const std::vector<std::string> expected = {
        "ADD 904 7 4f0 A&B|||0|0|1",
        "ADD 904 1 4f0 |||0|0|0",
        Small("MODIFY %u 4 0 Tom &&& Jerry|||0|0|0"),
        Small("MODIFY %u 4 0 ") + std::string(63, '&') + "|||0|0|0",   // cut after the tripling
        Small("MODIFY %u 4 0 ") + std::string(63, 'y') + "|||0|0|0",
        Small("MODIFY %u 4 0 |||0|0|0"),
        "MODIFY 904 10 0 |Title|Text|10|2|0",
        Small("MODIFY %u 2 0 |||0|0|1"),
        Small("DELETE %u 0 0 |||0|0|0"),
    };
    EXPECT_EQ(expected, gShellCalls);
    EXPECT_EQ(sizeof(void*) == 8 ? 520u : 504u, TASKBARICON::SMALLSIZE);
}

TEST(TaskbarIcon, LostIconIsPutBackOnceUnderTheGuard)
{
    SHELLSEAM seam(NIM_MODIFY);
    TASKBARICON icon(0, 5, 0, "old");
    gShellCalls.clear();
    EXPECT_FALSE(icon.SetTooltip("new"));
    const std::string tip = Small("MODIFY %u 4 0 new|||0|0|0");
    EXPECT_EQ((std::vector<std::string>{tip, tip, Small("DELETE %u 0 0 |||0|0|0"), "ADD 904 5 4f0 new|||0|0|0", tip}),
              gShellCalls);
    gShellCalls.clear();
    EXPECT_FALSE(icon.SetBalloon(NIIF_INFO, "t", "x", 5));   // by force: no tool tip first
    ASSERT_EQ(4u, gShellCalls.size());
    EXPECT_EQ("MODIFY 904 10 0 |t|x|5|1|0", gShellCalls[0]);
    EXPECT_EQ(Small("DELETE %u 0 0 |||0|0|0"), gShellCalls[1]);
    EXPECT_TRUE(icon.IsRunning());
    SHELLSEAM noAdd(NIM_ADD);
    TASKBARICON lost(0, 6, 0, "tip");   // tried once more, then given up
    EXPECT_FALSE(lost.IsRunning());
    EXPECT_EQ(2u, gShellCalls.size());
}

// The sample program, driven as a person would: its window found, File, Exit
// chosen from its menu with the keyboard (Alt+F, X).
TEST(TrayApp, MenuExitEndsTheProgram)
{
    TESTSUPPORT::CHILD child;
    const std::string exe = TESTSUPPORT::SelfDirectory() + "\\..\\examples\\trayapp\\trayapp.exe";
    ASSERT_TRUE(child.Start("\"" + exe + "\""));
    HWND window = TESTSUPPORT::WaitForWindow(child.Id(), "TarniTrayAppWindow", 30000);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(L"Tarni tray sample", TESTSUPPORT::WindowText(window));
    ASSERT_TRUE(TESTSUPPORT::WaitUntil([&] { return SetForegroundWindow(window) && GetForegroundWindow() == window; }));
    const std::pair<WORD, DWORD> strokes[] = {{VK_MENU, 0}, {'F', 0}, {'F', KEYEVENTF_KEYUP}, {VK_MENU, KEYEVENTF_KEYUP},
                                              {'X', 0}, {'X', KEYEVENTF_KEYUP}};
    std::vector<INPUT> keys;
    for (const auto& stroke : strokes)
    {
        INPUT key = {};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = stroke.first;
        key.ki.dwFlags = stroke.second;
        keys.push_back(key);
    }
    ASSERT_EQ(keys.size(), SendInput((UINT)keys.size(), keys.data(), sizeof(INPUT)));
    EXPECT_EQ(0, child.Wait(30000));
}
