#pragma once
// The one entry to the service control manager for the verbs and the dialog.

#include <windows.h>

#include "framework/text/strings.h"

// operation: "START", "STOP", "QUERY_STATUS", "INSTALL", "UNINSTALL" or
// "RUN" (case ignored). Returns 0 on success or the operation's failure code
// (START 6, STOP 7, INSTALL 2, UNINSTALL 3, RUN 4 or 5); QUERY_STATUS returns
// the service's current state, 0 when it cannot be read.
int ServiceOperation(const STRING& operation, const STRING& name, const char* windowClass, const char* executable);

// How the operations above open the service control manager.
typedef SC_HANDLE(WINAPI* OPENMANAGERFUNCTION)(LPCSTR machine, LPCSTR database, DWORD access);
// Tests only: opener replaces OpenSCManagerA for START, STOP and
// QUERY_STATUS; null restores it.
void SetManagerOpener(OPENMANAGERFUNCTION opener);
