// The service controller's entry. The controller verbs are not wired yet:
// the program starts through the frame, logs, and exits with 0.

#include "framework/app/tarni_win32.h"

static int ControllerMain(int count, char** arguments, char** environment)
{
    return 0;
}

static TARNIAPPMAIN gControllerMain(ControllerMain);
