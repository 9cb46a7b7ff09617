#pragma once
// Controls: one child control of a window, attached by id or created at a
// rectangle or in the place of a placeholder control; the typed controls
// add the messages of their kind.

#include <windows.h>
#include <commctrl.h>

#include "framework/containers/stringarray.h"
#include "framework/text/unicode.h"
#include "framework/windows/winbase_win32.h"

class CONTROL : public WINDOW
{
public:
    // The control id of window, or window itself for id -1; never destroyed here.
    CONTROL(HWND window, int id);
    // Creates and owns a control (style gains WS_CHILD) with the parent's font.
    CONTROL(HWND parent, int id, const char* className, DWORD style, int x, int y, int width, int height,
            const char* text = "", DWORD exStyle = 0);
    // The same at the rectangle of the placeholder control, which it follows
    // in z-order; the placeholder is hidden.
    CONTROL(HWND parent, int id, const char* className, DWORD style, int placeholderId, const char* text = "",
            DWORD exStyle = 0);

    // Adds (on) or removes style bits.
    void SetStyleBits(DWORD bits, bool on);

private:
    void Construct(HWND parent, int id, const char* className, DWORD style, const RECT& rect, const char* text,
                   DWORD exStyle);
};

class EDITCONTROL : public CONTROL
{
public:
    enum : DWORD { STYLE = 0x10010080 };   // visible, tab stop, horizontal scrolling
    EDITCONTROL(HWND window, int id) : CONTROL(window, id) {}
    EDITCONTROL(HWND parent, int id, DWORD style, int x, int y, int width, int height, const char* text = "",
                DWORD exStyle = 0);
    EDITCONTROL(HWND parent, int id, DWORD style, int placeholderId, const char* text = "", DWORD exStyle = 0);

    // Start and end of the selection; false (both -1) when it cannot be read.
    bool GetSelection(int* start, int* end);
    void SetSelection(int start, int end);
    void LimitText(int characters);
    void SetReadOnly(bool on);
    void SetPasswordHidden(bool hidden);   // shows U+25CF for every character
};

// A list box or a combo box: each operation sends the message of its kind.
class LISTCONTROL : public CONTROL
{
public:
    enum : DWORD { STYLE = 0x50210001 };   // visible, vertical scroll bar, tab stop, notify
    LISTCONTROL(HWND window, int id);
    LISTCONTROL(HWND parent, int id, DWORD style, int x, int y, int width, int height, DWORD exStyle = 0);
    LISTCONTROL(HWND parent, int id, DWORD style, int placeholderId, DWORD exStyle = 0);

    bool IsListBox() const { return ListFlag != 0; }
    int Count();
    int AddItem(const char* text);   // the item's index, negative on failure
    int AddItem(const WSTRING& text);
    int InsertItem(int index, const WSTRING& text);
    // Inserts every text from index on, or at the end for index -1; the count inserted.
    int InsertItems(const STRINGARRAY& texts, int index);
    int DeleteItem(int index);
    // The item keeps its place and its selection.
    int ReplaceItem(int index, const char* text);
    int FindItem(const char* text);   // -1 when missing
    int FindItem(const WSTRING& text);
    void SelectItem(int index, bool on);
    bool IsSelected(int index);
    int SelectedCount();
    bool GetItemRect(int index, RECT* rect);
    void SetTopIndex(int index);
    void SetItemHeight(int height);

private:
    UINT Message(UINT listMessage, UINT comboMessage) const { return ListFlag ? listMessage : comboMessage; }
    int32_t ListFlag;
};

class PROGRESSCONTROL : public CONTROL
{
public:
    PROGRESSCONTROL(HWND window, int id) : CONTROL(window, id) {}
    // style is not used: a progress bar is always a visible child.
    PROGRESSCONTROL(HWND parent, int id, DWORD style, int x, int y, int width, int height);
    PROGRESSCONTROL(HWND parent, int id, DWORD style, int placeholderId);
    void SetRange(int upper);
    void SetPosition(int position);
};

class BUTTONCONTROL : public CONTROL
{
public:
    enum : DWORD { STYLE = 0x50010000 };   // visible, tab stop
    BUTTONCONTROL(HWND window, int id) : CONTROL(window, id) {}
    BUTTONCONTROL(HWND parent, int id, DWORD buttonStyle, int x, int y, int width, int height, const char* text = "",
                  DWORD exStyle = 0);
    BUTTONCONTROL(HWND parent, int id, DWORD buttonStyle, int placeholderId, const char* text = "",
                  DWORD exStyle = 0);

    int GetCheck();
    // Sets the state and tells the parent as a click does (BN_CLICKED).
    void SetCheck(int state);
    void SetUnchecked(int unchecked) { SetCheck(!unchecked); }
    void SetButtonStyle(DWORD style);
    bool SetIcon(HICON icon);   // 16 x 16 beside the text
    ~BUTTONCONTROL() override;

private:
    HIMAGELIST Images = 0;
};

class RADIOCONTROL : public BUTTONCONTROL
{
public:
    enum : DWORD { STYLE = 0x50010009 };   // automatic radio button
    RADIOCONTROL(HWND window, int id) : BUTTONCONTROL(window, id) {}
    RADIOCONTROL(HWND parent, int id, int x, int y, int width, int height, const char* text = "", DWORD exStyle = 0);
    RADIOCONTROL(HWND parent, int id, int placeholderId, const char* text = "", DWORD exStyle = 0);
};

class ICONCONTROL : public CONTROL
{
public:
    enum : DWORD { STYLE = 0x50000003 };
    ICONCONTROL(HWND window, int id) : CONTROL(window, id) {}
    ICONCONTROL(HWND parent, int id, int x, int y, int width, int height);
    ICONCONTROL(HWND parent, int id, int placeholderId);
    void SetIcon(HICON icon);
};

class TEXTCONTROL : public CONTROL
{
public:
    enum : DWORD { STYLE = 0x50000000 };
    TEXTCONTROL(HWND window, int id) : CONTROL(window, id) {}
    TEXTCONTROL(HWND parent, int id, int x, int y, int width, int height, const char* text = "");
    TEXTCONTROL(HWND parent, int id, int placeholderId, const char* text = "");
};

class TRACKBARCONTROL : public CONTROL
{
public:
    TRACKBARCONTROL(HWND window, int id) : CONTROL(window, id) {}
    void SetPosition(int position, bool redraw = true);
    void SetRange(int low, int high, bool redraw = true);
    void ClearSelection(bool redraw = true);
    void SetTicFrequency(int frequency);
};

class SCROLLBARCONTROL : public CONTROL
{
public:
    SCROLLBARCONTROL(HWND window, int id) : CONTROL(window, id) {}
    void SetPosition(int position, bool redraw = true);
    void SetRange(int low, int high, bool redraw = true);
    void SetInfo(const SCROLLINFO& info, bool redraw = true);
};

// An up-down control: 16-bit messages where the values fit, else the 32-bit ones.
class UPDOWNCONTROL : public CONTROL
{
public:
    UPDOWNCONTROL(HWND window, int id) : CONTROL(window, id) {}
    // Bounds in either order; the buddy takes as many characters as high has digits.
    void SetRange(int low, int high);
    int GetPosition();
    void SetPosition(int value);
    void SetRangeAndPosition(int low, int high, int value);
};
