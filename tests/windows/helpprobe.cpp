// A program built on the frame that hands one help file to its HELPFILE:
// /FILE: the file (compiled HTML help), /TOPIC: a topic to show then.
// Exit code: 10, plus 1 when the help is available, plus 2 when the topic
// opened a help window.

#include <windows.h>
#include <stdlib.h>

#include "framework/app/tarni_win32.h"
#include "framework/windows/helpfile.h"

static int ProbeMain(int count, char** arguments, char** environment)
{
    HELPFILE& help = HELPFILE::Get();
    help.SetFilename(GetArgValue("FILE", 0).Text(), true);
    int result = 10 + (help.Available() ? 1 : 0);
    if (TestArgValue("TOPIC", 0) && help.ShowTopic(atoi(GetArgValue("TOPIC", 0).Text())) && help.GetHelpWindow())
        result += 2;
    return result;
}

static TARNIAPPMAIN gProbeMain(ProbeMain);
