#include "framework/windows/wincontrols_win32.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "framework/app/logit.h"
#include "framework/os/winhandle_win32.h"

namespace
{
    const wchar_t PasswordDot = 0x25CF;

    HWND ChildOf(HWND window, int id) { return id == -1 ? window : GetDlgItem(window, id); }

    // The placeholder's rectangle in the parent's client coordinates.
    RECT PlaceholderRect(HWND parent, int placeholderId)
    {
        RECT rect = {0, 0, 0, 0};
        HWND placeholder = GetDlgItem(parent, placeholderId);
        if (placeholder && GetWindowRect(placeholder, &rect))
            MapWindowPoints(0, parent, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    RECT Rect(int x, int y, int width, int height)
    {
        RECT rect = {x, y, x + width, y + height};
        return rect;
    }

    int DecimalDigits(int value)
    {
        char text[16];
        return FORMAT::Print(text, sizeof(text), "%d", value < 0 ? -value : value);
    }

    WSTRING Wide(const char* text) { return WSTRING(STRING::NullGuard(text), 1252); }
    LPARAM WideParam(const WSTRING& text) { return reinterpret_cast<LPARAM>(text.Text()); }
}

CONTROL::CONTROL(HWND window, int id) : WINDOW(ChildOf(window, id))
{
}

CONTROL::CONTROL(HWND parent, int id, const char* className, DWORD style, int x, int y, int width, int height,
                 const char* text, DWORD exStyle)
{
    Construct(parent, id, className, style, Rect(x, y, width, height), text, exStyle);
}

CONTROL::CONTROL(HWND parent, int id, const char* className, DWORD style, int placeholderId, const char* text,
                 DWORD exStyle)
{
    Construct(parent, id, className, style, PlaceholderRect(parent, placeholderId), text, exStyle);
    HWND placeholder = GetDlgItem(parent, placeholderId);
    if (!hWnd || !placeholder)
        return;
    SetWindowPos(hWnd, placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(placeholder, SW_HIDE);
    AssertHandler(CONTROL(parent, id).Hwnd() == hWnd, "CONTROL(hwndparent, idc).Hwnd()==this->hWnd", __FILE__,
                  __LINE__, 0, 0);
}

void CONTROL::Construct(HWND parent, int id, const char* className, DWORD style, const RECT& rect,
                        const char* text, DWORD exStyle)
{
    className = STRING::NullGuard(className);
    text = STRING::NullGuard(text);
    Logit("CONTROL::CONTROL %p, %d, %s, %s, %x, %x\n", (void*)parent, id, className, text, (unsigned)style,
          (unsigned)exStyle);
    Logit("CONTROL::CONTROL %d\n", ::IsWindow(parent) ? 1 : 0);
    Id = id;
    hWnd = CreateWindowExA(exStyle, className, text, style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent, reinterpret_cast<HMENU>((INT_PTR)id), 0, 0);
    if (!hWnd)
    {
        AssertHandler(0, "this->hWnd", __FILE__, __LINE__, className, 0);
        Id = -1;
        return;
    }
    AutoDestroy = 1;
    LRESULT font = SendMessageA(parent, WM_GETFONT, 0, 0);
    if (font)
        SendMessageA(hWnd, WM_SETFONT, (WPARAM)font, 0);
}

void CONTROL::SetStyleBits(DWORD bits, bool on)
{
    LONG style = GetWindowLongA(hWnd, GWL_STYLE);
    SetWindowLongA(hWnd, GWL_STYLE, on ? (style | (LONG)bits) : (style & ~(LONG)bits));
}

EDITCONTROL::EDITCONTROL(HWND parent, int id, DWORD style, int x, int y, int width, int height, const char* text,
                         DWORD exStyle)
    : CONTROL(parent, id, "Edit", style | STYLE, x, y, width, height, text, exStyle)
{
}

EDITCONTROL::EDITCONTROL(HWND parent, int id, DWORD style, int placeholderId, const char* text, DWORD exStyle)
    : CONTROL(parent, id, "Edit", style | STYLE, placeholderId, text, exStyle)
{
}

bool EDITCONTROL::GetSelection(int* start, int* end)
{
    DWORD first = 0, last = 0;
    LRESULT result = hWnd ? SendMessageA(hWnd, EM_GETSEL, (WPARAM)&first, (LPARAM)&last) : -1;
    bool ok = result != -1;
    *start = ok ? (int)first : -1;
    *end = ok ? (int)last : -1;
    return ok;
}

void EDITCONTROL::SetSelection(int start, int end) { SendMessageA(hWnd, EM_SETSEL, (WPARAM)start, (LPARAM)end); }
void EDITCONTROL::LimitText(int characters) { SendMessageA(hWnd, EM_LIMITTEXT, (WPARAM)characters, 0); }
void EDITCONTROL::SetReadOnly(bool on) { SendMessageA(hWnd, EM_SETREADONLY, on, 0); }

void EDITCONTROL::SetPasswordHidden(bool hidden)
{
    SendMessageW(hWnd, EM_SETPASSWORDCHAR, hidden ? PasswordDot : 0, 0);
    InvalidateRect(hWnd, 0, TRUE);
}

LISTCONTROL::LISTCONTROL(HWND window, int id) : CONTROL(window, id), ListFlag(0)
{
    ListFlag = STRING::Compare(ClassName().Text(), "ListBox", 1) == 0 ? 1 : 0;
}

LISTCONTROL::LISTCONTROL(HWND parent, int id, DWORD style, int x, int y, int width, int height, DWORD exStyle)
    : CONTROL(parent, id, "ListBox", style | STYLE, x, y, width, height, "LISTBOX", exStyle), ListFlag(1)
{
}

LISTCONTROL::LISTCONTROL(HWND parent, int id, DWORD style, int placeholderId, DWORD exStyle)
    : CONTROL(parent, id, "ListBox", style | STYLE, placeholderId, "LISTBOX", exStyle), ListFlag(1)
{
}

int LISTCONTROL::Count() { return (int)SendMessageA(hWnd, Message(LB_GETCOUNT, CB_GETCOUNT), 0, 0); }
int LISTCONTROL::AddItem(const char* text) { return AddItem(Wide(text)); }

int LISTCONTROL::AddItem(const WSTRING& text)
{
    return (int)SendMessageW(hWnd, Message(LB_ADDSTRING, CB_ADDSTRING), 0, WideParam(text));
}

int LISTCONTROL::InsertItem(int index, const WSTRING& text)
{
    return (int)SendMessageW(hWnd, Message(LB_INSERTSTRING, CB_INSERTSTRING), (WPARAM)index, WideParam(text));
}

int LISTCONTROL::InsertItems(const STRINGARRAY& texts, int index)
{
    int inserted = 0;
    for (int i = 0; i < texts.Count(); i++)
    {
        if (InsertItem(index == -1 ? -1 : index + i, Wide(texts.Text(i))) >= 0)
            inserted++;
    }
    return inserted;
}

int LISTCONTROL::DeleteItem(int index)
{
    return (int)SendMessageA(hWnd, Message(LB_DELETESTRING, CB_DELETESTRING), (WPARAM)index, 0);
}

int LISTCONTROL::ReplaceItem(int index, const char* text)
{
    bool selected = IsSelected(index);
    DeleteItem(index);
    int result = InsertItem(index, Wide(text));
    if (selected)
        SelectItem(index, true);
    return result;
}

int LISTCONTROL::FindItem(const char* text) { return FindItem(Wide(text)); }

int LISTCONTROL::FindItem(const WSTRING& text)
{
    LRESULT found = SendMessageW(hWnd, Message(LB_FINDSTRING, CB_FINDSTRING), (WPARAM)-1, WideParam(text));
    return found < 0 ? -1 : (int)found;
}

void LISTCONTROL::SelectItem(int index, bool on)
{
    if (!ListFlag)
        SendMessageA(hWnd, CB_SETCURSEL, on ? (WPARAM)index : (WPARAM)-1, 0);
    else if (GetWindowLongA(hWnd, GWL_STYLE) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL))
        SendMessageA(hWnd, LB_SETSEL, on, (LPARAM)index);
    else
        SendMessageA(hWnd, LB_SETCURSEL, on ? (WPARAM)index : (WPARAM)-1, 0);
}

bool LISTCONTROL::IsSelected(int index)
{
    if (ListFlag)
        return SendMessageA(hWnd, LB_GETSEL, (WPARAM)index, 0) > 0;
    return SendMessageA(hWnd, CB_GETCURSEL, 0, 0) == index;
}

int LISTCONTROL::SelectedCount()
{
    if (!ListFlag)
        return 1;
    // A single-selection list box answers LB_GETSELCOUNT with an error.
    if (!(GetWindowLongA(hWnd, GWL_STYLE) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)))
        return SendMessageA(hWnd, LB_GETCURSEL, 0, 0) >= 0 ? 1 : 0;
    return (int)SendMessageA(hWnd, LB_GETSELCOUNT, 0, 0);
}

bool LISTCONTROL::GetItemRect(int index, RECT* rect)
{
    return ListFlag && SendMessageA(hWnd, LB_GETITEMRECT, (WPARAM)index, (LPARAM)rect) != LB_ERR;
}

void LISTCONTROL::SetTopIndex(int index)
{
    SendMessageA(hWnd, Message(LB_SETTOPINDEX, CB_SETTOPINDEX), (WPARAM)index, 0);
}

void LISTCONTROL::SetItemHeight(int height) { SendMessageA(hWnd, LB_SETITEMHEIGHT, 0, (LPARAM)height); }

PROGRESSCONTROL::PROGRESSCONTROL(HWND parent, int id, DWORD style, int x, int y, int width, int height)
    : CONTROL(parent, id, PROGRESS_CLASSA, WS_CHILD | WS_VISIBLE, x, y, width, height)
{
    SetRange(100);
}

PROGRESSCONTROL::PROGRESSCONTROL(HWND parent, int id, DWORD style, int placeholderId)
    : CONTROL(parent, id, PROGRESS_CLASSA, WS_CHILD | WS_VISIBLE, placeholderId)
{
    SetRange(100);
}

void PROGRESSCONTROL::SetRange(int upper) { SendMessageA(hWnd, PBM_SETRANGE, 0, MAKELPARAM(0, upper)); }
void PROGRESSCONTROL::SetPosition(int position) { SendMessageA(hWnd, PBM_SETPOS, (WPARAM)position, 0); }

BUTTONCONTROL::BUTTONCONTROL(HWND parent, int id, DWORD buttonStyle, int x, int y, int width, int height,
                             const char* text, DWORD exStyle)
    : CONTROL(parent, id, "Button", buttonStyle | STYLE, x, y, width, height, text, exStyle)
{
}

BUTTONCONTROL::BUTTONCONTROL(HWND parent, int id, DWORD buttonStyle, int placeholderId, const char* text,
                             DWORD exStyle)
    : CONTROL(parent, id, "Button", buttonStyle | STYLE, placeholderId, text, exStyle)
{
}

BUTTONCONTROL::~BUTTONCONTROL()
{
    if (!Images)
        return;
    // An attached button outlives this object: it must not keep the list.
    BUTTON_IMAGELIST none = {};
    if (::IsWindow(hWnd))
        SendMessageA(hWnd, BCM_SETIMAGELIST, 0, (LPARAM)&none);
    ImageList_Destroy(Images);
}

int BUTTONCONTROL::GetCheck() { return (int)SendMessageA(hWnd, BM_GETCHECK, 0, 0); }

void BUTTONCONTROL::SetCheck(int state)
{
    SendMessageA(hWnd, BM_SETCHECK, (WPARAM)state, 0);
    SendMessageA(GetParent(hWnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hWnd), BN_CLICKED), (LPARAM)hWnd);
}

void BUTTONCONTROL::SetButtonStyle(DWORD style) { SendMessageA(hWnd, BM_SETSTYLE, style, TRUE); }

bool BUTTONCONTROL::SetIcon(HICON icon)
{
    int depth = SCREENDC().Caps(BITSPIXEL, 32);
    HIMAGELIST images = ImageList_Create(16, 16, (UINT)depth | ILC_MASK, 1, 0);
    if (!images)
        return false;
    ImageList_AddIcon(images, icon);
    BUTTON_IMAGELIST list = {images, {0, 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_LEFT};
    bool ok = SendMessageA(hWnd, BCM_SETIMAGELIST, 0, (LPARAM)&list) != 0;
    if (Images)
        ImageList_Destroy(Images);
    Images = images;
    return ok;
}

RADIOCONTROL::RADIOCONTROL(HWND parent, int id, int x, int y, int width, int height, const char* text, DWORD exStyle)
    : BUTTONCONTROL(parent, id, BS_AUTORADIOBUTTON, x, y, width, height, text, exStyle)
{
}

RADIOCONTROL::RADIOCONTROL(HWND parent, int id, int placeholderId, const char* text, DWORD exStyle)
    : BUTTONCONTROL(parent, id, BS_AUTORADIOBUTTON, placeholderId, text, exStyle)
{
}

ICONCONTROL::ICONCONTROL(HWND parent, int id, int x, int y, int width, int height)
    : CONTROL(parent, id, "Static", STYLE, x, y, width, height)
{
}

ICONCONTROL::ICONCONTROL(HWND parent, int id, int placeholderId) : CONTROL(parent, id, "Static", STYLE, placeholderId)
{
}

void ICONCONTROL::SetIcon(HICON icon) { SendMessageA(hWnd, STM_SETICON, (WPARAM)icon, 0); }

TEXTCONTROL::TEXTCONTROL(HWND parent, int id, int x, int y, int width, int height, const char* text)
    : CONTROL(parent, id, "Static", STYLE, x, y, width, height, text)
{
}

TEXTCONTROL::TEXTCONTROL(HWND parent, int id, int placeholderId, const char* text)
    : CONTROL(parent, id, "Static", STYLE, placeholderId, text)
{
}

void TRACKBARCONTROL::SetPosition(int position, bool redraw) { SendMessageA(hWnd, TBM_SETPOS, redraw, position); }

void TRACKBARCONTROL::SetRange(int low, int high, bool redraw)
{
    SendMessageA(hWnd, TBM_SETRANGE, redraw, MAKELPARAM(low, high));
}

void TRACKBARCONTROL::ClearSelection(bool redraw) { SendMessageA(hWnd, TBM_CLEARSEL, redraw, 0); }
void TRACKBARCONTROL::SetTicFrequency(int frequency) { SendMessageA(hWnd, TBM_SETTICFREQ, (WPARAM)frequency, 0); }

void SCROLLBARCONTROL::SetPosition(int position, bool redraw) { SendMessageA(hWnd, SBM_SETPOS, (WPARAM)position, redraw); }

void SCROLLBARCONTROL::SetRange(int low, int high, bool redraw)
{
    SendMessageA(hWnd, redraw ? SBM_SETRANGEREDRAW : SBM_SETRANGE, (WPARAM)low, (LPARAM)high);
}

void SCROLLBARCONTROL::SetInfo(const SCROLLINFO& info, bool redraw) { SetScrollInfo(hWnd, SB_CTL, &info, redraw); }

void UPDOWNCONTROL::SetRange(int low, int high)
{
    int passedHigh = high;
    if (high < low)
    {
        int swap = low;
        low = high;
        high = swap;
    }
    HWND buddy = reinterpret_cast<HWND>(SendMessageA(hWnd, UDM_GETBUDDY, 0, 0));
    if (buddy)
        SendMessageA(buddy, EM_LIMITTEXT, (WPARAM)(DecimalDigits(passedHigh) + (low < 0 ? 1 : 0)), 0);
    if (low >= -32767 && low <= 32767 && high >= -32767 && high <= 32767)
    {
        SendMessageA(hWnd, UDM_SETRANGE, 0, MAKELPARAM(high, low));
        return;
    }
    int lo = -1, hi = -2;
    SendMessageA(hWnd, UDM_GETRANGE32, (WPARAM)&lo, (LPARAM)&hi);
    AssertHandler(lo != -1 && hi != -2, "lo!=-1 && hi!=-2", __FILE__, __LINE__, "COMCTL32 V4.71 or higher required",
                  0);
    SendMessageA(hWnd, UDM_SETRANGE32, (WPARAM)low, (LPARAM)high);
}

int UPDOWNCONTROL::GetPosition()
{
    BOOL error = -2;
    LRESULT position = SendMessageA(hWnd, UDM_GETPOS32, 0, (LPARAM)&error);
    if (error != -2)
        return (int)position;
    return (short)LOWORD(SendMessageA(hWnd, UDM_GETPOS, 0, 0));
}

void UPDOWNCONTROL::SetPosition(int value)
{
    if (value >= -32768 && value <= 32767)
    {
        SendMessageA(hWnd, UDM_SETPOS, 0, MAKELPARAM(value, 0));
        return;
    }
    SendMessageA(hWnd, UDM_SETPOS32, 0, (LPARAM)value);
    int readBack = GetPosition();
    AssertHandler(value == readBack, "val==val2", __FILE__, __LINE__, 0, 0);
}

void UPDOWNCONTROL::SetRangeAndPosition(int low, int high, int value)
{
    SetRange(low, high);
    SetPosition(value);
}
