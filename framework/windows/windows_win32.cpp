#include "framework/windows/windows_win32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <memory>

#include "framework/app/logit.h"
#include "framework/app/resources.h"
#include "framework/os/osys.h"
#include "framework/os/winhandle_win32.h"
#include "framework/windows/helpfile.h"
#include "framework/windows/winapp_win32.h"

namespace
{
    // An extended dialog template begins with version 1 and 0xFFFF, then help
    // id, extended style, style, item count and the rectangle.
    const size_t ExtendedHeaderSize = 26;
    const size_t ExtendedStyleOffset = 12;
    // Point size, weight, italic and character set stand before the face name.
    const size_t FontFieldsSize = 6;
    const int ControlInitRc = 800;

    uint16_t Word(const unsigned char* bytes, size_t at) { return (uint16_t)(bytes[at] | bytes[at + 1] << 8); }
    size_t AlignDword(size_t offset) { return (offset + 3) & ~(size_t)3; }

    // Bytes of a name-or-ordinal field (or a zero-ended UTF-16 text) at at;
    // 0 when it runs past the end.
    size_t FieldSize(const unsigned char* bytes, size_t at, size_t size)
    {
        if (at + 2 > size)
            return 0;
        if (Word(bytes, at) == 0xFFFF)
            return at + 4 <= size ? 4 : 0;
        for (size_t n = at; n + 2 <= size; n += 2)
        {
            if (Word(bytes, n) == 0)
                return n + 2 - at;
        }
        return 0;
    }

    // Where the face name of an extended template's 8 point "MS Shell Dlg"
    // font begins; 0 for any other template.
    size_t ShellDlgFaceOffset(const unsigned char* bytes, size_t size)
    {
        if (size < ExtendedHeaderSize || Word(bytes, 0) != 1 || Word(bytes, 2) != 0xFFFF)
            return 0;
        uint32_t style = Word(bytes, ExtendedStyleOffset) | (uint32_t)Word(bytes, ExtendedStyleOffset + 2) << 16;
        if (!(style & DS_SETFONT))
            return 0;
        size_t at = ExtendedHeaderSize;
        for (int field = 0; field < 3; field++)   // menu, class, title
        {
            size_t n = FieldSize(bytes, at, size);
            if (!n)
                return 0;
            at += n;
        }
        size_t faceAt = at + FontFieldsSize;
        size_t faceSize = FieldSize(bytes, faceAt, size);
        static const char16_t shellDlg[] = u"MS Shell Dlg";
        // A face that fits means the point size before it is inside the template too.
        if (faceSize != sizeof(shellDlg) || Word(bytes, at) != 8)
            return 0;
        for (size_t i = 0; i + 1 < sizeof(shellDlg) / 2; i++)
        {
            char16_t c = Word(bytes, faceAt + 2 * i);
            if (towlower(c) != towlower(shellDlg[i]))
                return 0;
        }
        return faceAt;
    }

    // The system's message font as a face name and a size in points.
    bool MessageFont(wchar_t* face, int faceSize, int* points)
    {
        NONCLIENTMETRICSA metrics = {};
        metrics.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
        if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
            return false;
        int dpi = SCREENDC().Caps(LOGPIXELSY, 96);
        *points = abs((int)metrics.lfMessageFont.lfHeight) * 72 / (dpi > 0 ? dpi : 96);
        return MultiByteToWideChar(CP_ACP, 0, metrics.lfMessageFont.lfFaceName, -1, face, faceSize) > 0;
    }

    // A copy of a dialog template in memory of its own (free it with free()).
    // With face given, an extended template with the 8 point "MS Shell Dlg"
    // font gets that face and points; the items move to make room.
    void* CopyTemplate(const void* source, size_t size, const wchar_t* face, int points)
    {
        const unsigned char* bytes = static_cast<const unsigned char*>(source);
        if (!bytes || !size)
            return 0;
        size_t faceAt = face ? ShellDlgFaceOffset(bytes, size) : 0;
        if (!faceAt)
        {
            void* copy = malloc(size);
            if (copy)
                memcpy(copy, bytes, size);
            return copy;
        }
        // Items begin DWORD-aligned behind the face name; they keep that
        // alignment at their new place.
        size_t itemsAt = AlignDword(faceAt + FieldSize(bytes, faceAt, size));
        size_t itemsSize = size > itemsAt ? size - itemsAt : 0;
        size_t faceBytes = (wcslen(face) + 1) * sizeof(wchar_t);
        size_t newItemsAt = AlignDword(faceAt + faceBytes);
        unsigned char* copy = static_cast<unsigned char*>(calloc(newItemsAt + itemsSize, 1));
        if (!copy)
            return 0;
        memcpy(copy, bytes, faceAt);
        uint16_t pointSize = (uint16_t)points;
        memcpy(copy + faceAt - FontFieldsSize, &pointSize, 2);
        memcpy(copy + faceAt, face, faceBytes);
        memcpy(copy + newItemsAt, bytes + itemsAt, itemsSize);
        return copy;
    }

    // The template of the resources, copied; from Vista on in the system's
    // message font.
    void* LoadTemplate(HMODULE module, int resourceId)
    {
        HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(5));   // RT_DIALOG
        HGLOBAL loaded = resource ? LoadResource(module, resource) : 0;
        const void* data = loaded ? LockResource(loaded) : 0;
        if (!data)
            return 0;
        wchar_t face[LF_FACESIZE];
        int points = 0;
        bool replace = OSYS::GetOsId() >= 5 && MessageFont(face, LF_FACESIZE, &points);
        return CopyTemplate(data, SizeofResource(module, resource), replace ? face : 0, points);
    }

    bool IsClass(HWND window, const char* name)
    {
        char className[32] = "";
        return window && GetClassNameA(window, className, sizeof(className)) && _stricmp(className, name) == 0;
    }

    // The text an owner-drawn combo box keeps for an item.
    STRING ComboItemText(HWND combo, UINT item, ULONG_PTR data)
    {
        if (GetWindowLongPtrA(combo, GWL_STYLE) & CBS_HASSTRINGS)
        {
            LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, item, 0);
            if (length <= 0 || length > 1024)
                return STRING();
            char text[1028] = "";
            SendMessageA(combo, CB_GETLBTEXT, item, (LPARAM)text);
            return STRING(text);
        }
        return STRING(data ? reinterpret_cast<const char*>(data) : "");
    }

    int IconNumber(const STRING& text)
    {
        // scanf's "##ICON=%d##", by hand: the runtime's scanf would link its
        // own number conversions.
        const char prefix[] = "##ICON=";
        if (strncmp(text.Text(), prefix, sizeof(prefix) - 1) != 0)
            return 0;
        const char* digits = text.Text() + sizeof(prefix) - 1;
        char* end = 0;
        long number = strtol(digits, &end, 10);
        return end != digits ? (int)number : 0;
    }

    INT_PTR MeasureComboItem(HWND dialog, MEASUREITEMSTRUCT* item)
    {
        if (!item || item->CtlType != ODT_COMBOBOX)
            return 0;
        int scaled = WINDOW::DpiScaleOf(dialog) * 16 / 100 + 4;
        HWND combo = GetDlgItem(dialog, (int)item->CtlID);
        if (!item->itemData)
        {
            HWND before = combo ? GetWindow(combo, GW_HWNDPREV) : 0;
            RECT edit;
            if (IsClass(before, "Edit") && GetWindowRect(before, &edit))
                scaled = edit.bottom - edit.top - 3;
            item->itemWidth = item->itemHeight = (UINT)scaled;
            return 0;
        }
        if (strncmp(ComboItemText(combo, item->itemID, item->itemData).Text(), "##ICON=", 7) != 0)
            return 0;
        item->itemWidth = item->itemHeight = (UINT)scaled;
        return 1;
    }

    INT_PTR DrawComboItem(HWND dialog, DRAWITEMSTRUCT* item)
    {
        if (!item || item->CtlType != ODT_COMBOBOX || item->itemID == (UINT)-1)
            return 0;
        int icon = IconNumber(ComboItemText(item->hwndItem, item->itemID, item->itemData));
        if (!icon)
            return 0;
        int size = WINDOW::DpiScaleOf(dialog) * 16 / 100;
        bool selected = (item->itemState & ODS_SELECTED) != 0;
        FillRect(item->hDC, &item->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
        HICON image = (HICON)LoadImageA(static_cast<HINSTANCE>(TARNIAPP::ResourceModule()), MAKEINTRESOURCEA(icon),
                                        IMAGE_ICON, size, size, 0);
        if (image)
        {
            int top = item->rcItem.top + (item->rcItem.bottom - item->rcItem.top - size) / 2;
            DrawStateA(item->hDC, 0, 0, (LPARAM)image, 0, item->rcItem.left + 2, top, size, size, DST_ICON);
            DestroyIcon(image);
        }
        return 1;
    }
}

DIALOG::DIALOG() : Reserved(0)
{
}

DIALOG::DIALOG(int resourceId, HWND parent, HMODULE module) : Reserved(0)
{
    if (!resourceId)
        return;
    if (!module)
        module = static_cast<HMODULE>(TARNIAPP::ResourceModule());
    Id = resourceId;
    SetDialogProcedure(DialogProcedure);
    std::unique_ptr<void, void (*)(void*)> copy(LoadTemplate(module, resourceId), free);
    if (copy)
        CreateDialogIndirectParamA(module, static_cast<LPCDLGTEMPLATEA>(copy.get()), parent, DialogProcedure,
                                   reinterpret_cast<LPARAM>(this));
    if (!hWnd)
    {
        char id[16];
        FORMAT::Print(id, sizeof(id), "%d", resourceId);
        AssertHandler(0, "this->hWnd", __FILE__, __LINE__, id, 0);
        Id = -1;
        return;
    }
    AutoDestroy = 1;
    if (!(GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD))
        CenterOnOwner(parent ? GetAncestor(parent, GA_ROOT) : 0);
    if (GetWindowLongPtrA(hWnd, GWL_ID) == 0)
        SetWindowLongPtrA(hWnd, GWL_ID, resourceId);
}

DIALOG::~DIALOG()
{
    // The dialog procedure calls DlgProc on WM_DESTROY: destroy the window
    // while this object is still a DIALOG.
    DestroyOwnedWindow();
}

INT_PTR CALLBACK DIALOG::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR early = 0;
    if (message == WM_MEASUREITEM)
        early = MeasureComboItem(window, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
    else if (message == WM_DRAWITEM)
        early = DrawComboItem(window, reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    if (message == WM_INITDIALOG && lParam)
    {
        DIALOG* created = reinterpret_cast<DIALOG*>(lParam);
        created->hWnd = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        PostMessageA(window, WM__DEFERREDCREATE, 0, 0);
    }
    DIALOG* dialog = reinterpret_cast<DIALOG*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!dialog)
        return early;
    if (dialog->pHook)
        early |= dialog->pHook(window, message, wParam, lParam);
    DiagnosticHotKeys(message, wParam, lParam);
    if (message == WM_DESTROY)
        dialog->DIALOG::DlgProc(message, wParam, lParam);
    if (message == WM_NCDESTROY)
    {
        // The window is gone: the object keeps no handle to it.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        dialog->hWnd = 0;
        dialog->Id = -1;
        return early;
    }
    if (early)
        return early;
    LRESULT result = dialog->DlgProc(message, wParam, lParam);
    // The dialog manager hands senders DWLP_MSGRESULT, except for the
    // messages whose answer is the procedure's result itself.
    bool direct = message == WM_INITDIALOG || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
                  message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
                  message == WM_QUERYDRAGICON;
    if (result && !direct && ::IsWindow(window))
        SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return result;
}

LRESULT DIALOG::DlgProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= 0x401 && message <= WM__APPMESSAGE)
        return WinProc(message, wParam, lParam);
    switch (message)
    {
    case WM_DESTROY:
    case WM_MOVE:
    case WM_SIZE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_CLOSE:
    case WM_ENDSESSION:
    case WM_SHOWWINDOW:
    case WM_NOTIFY:
    case WM_HELP:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_COMMAND:
    case WM_TIMER:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_SIZING:
    case WM__QUERYID:
    case WM__QUERYACCELERATORS:
        return WinProc(message, wParam, lParam);
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return OnOwnerDraw(message, wParam, lParam);
    case WM_CONTEXTMENU:
    {
        HWND control = reinterpret_cast<HWND>(wParam);
        if (!IsClass(control, "ListBox"))
            return 0;
        POINT point = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
        ScreenToClient(hWnd, &point);
        return OnControlNotify(6, control, MAKELPARAM(point.x, point.y));
    }
    case WM_INITDIALOG:
    {
        if (!lParam)
        {
            OnCreate();
            return 1;
        }
        char text[32] = "";
        HWND control = GetDlgItem(hWnd, ControlInitRc);
        if (control)
            GetWindowTextA(control, text, sizeof(text));
        return strcmp(text, "WM_INITDIALOG:RC=0") == 0 ? 0 : 1;
    }
    case WM__DEFERREDCREATE:
        DlgProc(WM_INITDIALOG, 0, 0);
        return 0;
    }
    return 0;
}

int DIALOG::PreTranslate(MSG* message) { return 0; }

int DIALOG::IsDlgMsg(HWND window, MSG* message) { return IsDialogMessageA(window, message); }

int DIALOG::OnEndModal(int result) { return 0; }

int DIALOG::RunModal(bool keepVisibility)
{
    HWND owner = GetWindow(hWnd, GW_OWNER);
    HWND parent = GetParent(hWnd);
    bool child = (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD) != 0;
    bool disabled = owner && (!child || owner != parent) && IsWindowEnabled(owner);
    if (disabled)
        EnableWindow(owner, FALSE);
    if (!keepVisibility)
    {
        Show(true);
        BringToForeground();
    }
    int result = ModalLoop();
    if (disabled)
        EnableWindow(owner, TRUE);
    if (!keepVisibility)
        Show(false);
    return result;
}

int DIALOG::ModalLoop()
{
    MSG message;
    int result = 0;
    for (;;)
    {
        BOOL got = GetMessageA(&message, 0, 0, 0);
        if (got <= 0)
        {
            // A quit request ends the modal run and still reaches the outer loop.
            if (got == 0)
                PostQuitMessage((int)message.wParam);
            break;
        }
        if (PreTranslate(&message))
            continue;
        OfferKeyToHotKeys(message);
        bool ctrlTab = message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0;
        if (ctrlTab)
            message.hwnd = hWnd;
        if (!ctrlTab && message.message != WM__ENDMODAL && IsDlgMsg(hWnd, &message))
            continue;
        if (message.message == WM__APPMESSAGE)
        {
            // A program without an application object drops it.
            if (APPLICATION::Current())
                APPLICATION::Current()->Message((int)message.wParam, 0, message.lParam, 0);
            continue;
        }
        HELPFILE* help = HELPFILE::Existing();
        if (help && help->PreTranslate(&message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (message.message == WM__ENDMODAL && message.hwnd == hWnd)
        {
            result = (int)message.wParam;
            break;
        }
    }
    OnEndModal(result);
    return result;
}

int DIALOG::EndModal(int result)
{
    PostMessageA(hWnd, WM__ENDMODAL, (WPARAM)result, 0);
    return 1;
}

int DIALOG::OnButton(int id)
{
    EndModal(id == IDCANCEL ? 0 : id);
    return 1;
}

LRESULT DIALOG::OnControlNotify(int code, HWND control, LPARAM extra) { return 0; }

int DIALOG::OnClose()
{
    EndModal(0);
    return 1;
}
