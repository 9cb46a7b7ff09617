#pragma once
// Dialogs: a dialog template of the resources turned into a framework window
// whose messages reach the same virtual operations as any other window, run
// modally in a message loop of its own.

#include <windows.h>

#include "framework/windows/winbase_win32.h"

class DIALOG : public WINDOW
{
public:
    DIALOG();
    // module null: the resource module. A resource id of 0 leaves the object
    // without a window.
    DIALOG(int resourceId, HWND parent, HMODULE module = 0);
    ~DIALOG() override;

    // Which messages reach WINDOW::WinProc; the rest go to the system's
    // dialog manager (answer 0).
    virtual LRESULT DlgProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Not 0: the message is taken out of the modal loop.
    virtual int PreTranslate(MSG* message);
    virtual int IsDlgMsg(HWND window, MSG* message);
    virtual int OnEndModal(int result);
    // Shows the dialog (unless keepVisibility), runs the modal loop with the
    // owner disabled and answers the result given to EndModal.
    virtual int RunModal(bool keepVisibility = false);
    virtual int ModalLoop();
    virtual int EndModal(int result);

    // A button ends the dialog with its id, Cancel with 0; so does closing it.
    int OnButton(int id) override;
    LRESULT OnControlNotify(int code, HWND control, LPARAM extra) override;
    int OnClose() override;

    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    int32_t Reserved;
};
