// HELPFILE: the help file in use, its topic ids, id mappings, and the calls
// into the HTML Help control or WinHelpA.

#include "framework/windows/helpfile.h"

#include <htmlhelp.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/os/winhandle_win32.h"
#include "framework/windows/winbase_win32.h"

// <htmlhelp.h> maps this name to the library's own function.
#undef HtmlHelp

namespace
{
    HELPFILE* gHelpFile = 0;
    bool gReleaseRegistered = false;

    std::unique_ptr<DLLINTERFACE> gHtmlHelpLibrary;
    HTMLHELPFUNCTION gHtmlHelpFunction = 0;
    bool gHtmlHelpTried = false;
    HTMLHELPFUNCTION gHtmlHelpHook = 0;

    const char* const HtmlHelpClassKey = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    const int HtmlHelpOrdinal = 14;

    // The control's registered path; empty when the value is missing, is no
    // string or is longer than MAX_PATH characters. The key is opened for
    // reading only: REGISTRY opens by creating, and this lookup must not
    // create the control's class key where it is missing.
    STRING HtmlHelpControlPath()
    {
        OWNEDKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, HtmlHelpClassKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
            return STRING();
        char value[MAX_PATH + 2] = {};
        DWORD size = MAX_PATH + 1;
        DWORD type = 0;
        if (RegQueryValueExA(key.Get(), 0, 0, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
            return STRING();
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return STRING();
        if (strlen(value) > MAX_PATH)
            return STRING();
        if (type == REG_SZ)
            return STRING(value);
        char expanded[MAX_PATH + 1] = {};
        DWORD needed = ExpandEnvironmentStringsA(value, expanded, sizeof(expanded));
        if (needed == 0 || needed > sizeof(expanded))
            return STRING();
        return STRING(expanded);
    }

    HTMLHELPFUNCTION LoadHtmlHelp()
    {
        if (gHtmlHelpTried)
            return gHtmlHelpFunction;
        gHtmlHelpTried = true;
        std::unique_ptr<DLLINTERFACE> library(new DLLINTERFACE());
        STRING path = HtmlHelpControlPath();
        if (path.IsEmpty() || !library->Load(path.Text()))
            library->Load("hhctrl.ocx");
        gHtmlHelpFunction = reinterpret_cast<HTMLHELPFUNCTION>(library->GetFunctionByOrdinal(HtmlHelpOrdinal));
        if (gHtmlHelpFunction)
            gHtmlHelpLibrary = std::move(library);
        return gHtmlHelpFunction;
    }

    void ReleaseAtExit()
    {
        HELPFILE::Release();
    }

    STRING IdText(int id)
    {
        return STRING::Sprintf("%u", (unsigned)id);
    }

    const char* const MissingFilesGerman =
        "Die Anwendung konnte notwendige Dateien (Hilfedateien, Ressourcen etc.), welche sich innerhalb des "
        "Anwendungsordners befinden, nicht laden.\r\rDieses Problem tritt \xfc"
        "blicherweise auf, wenn die exe-Datei der Anwendung au\xdf"
        "erhalb des Anwendungsordners kopiert wurde, und von dort gestartet wird, oder wenn Dateien aus dem "
        "Anwendungsordner gel\xf6"
        "scht wurden.\r\rEventuell wurde auch die exe-Datei der Anwendung beim Versuch, eine Verkn\xfc"
        "pfung zu erstellen, aus dem Anwendungsordner bewegt oder kopiert.\r\rDer Dateipfad, auf den "
        "zugegriffen wurde, der aber nicht vorhanden ist, lautet:\r\r%s";
    const char* const MissingFilesEnglish =
        "The application failed to load necessary files (helpfile content, resources etc.), which are located "
        "inside the application folder.\r\rThis problem can occur, if the application exe file was moved outside "
        "its application folder and was started from there, or if some files were deleted from the application "
        "folder.\r\rOr, maybe you have copied/moved the application exe file when you tried to create a shortcut "
        "link to the application.\r\rThe pathname which was tried to access, and which is missing, is:\r\r%s";
}

HELPFILE& HELPFILE::Get()
{
    if (!gHelpFile)
    {
        gHelpFile = new HELPFILE();
        if (!gReleaseRegistered)
            gReleaseRegistered = TARNIAPP::AtExit(ReleaseAtExit);
    }
    return *gHelpFile;
}

void HELPFILE::Release()
{
    delete gHelpFile;
    gHelpFile = 0;
    gHtmlHelpLibrary.reset();
    gHtmlHelpFunction = 0;
    gHtmlHelpTried = false;
}

HELPFILE* HELPFILE::Existing() { return gHelpFile; }

HWND HELPFILE::HtmlHelp(HWND caller, const char* file, UINT command, DWORD_PTR data)
{
    HTMLHELPFUNCTION function = gHtmlHelpHook ? gHtmlHelpHook : LoadHtmlHelp();
    return function ? function(caller, file, command, data) : 0;
}

void HELPFILE::SetHtmlHelpHook(HTMLHELPFUNCTION hook)
{
    gHtmlHelpHook = hook;
}

HELPFILE::HELPFILE()
    : Valid(0), Html(0), Cookie(0), HelpWindow(0), Owner(0), TopicList(64), DefaultTopic("-1"), NumMappings(0)
{
    Logit("HELPFILE::HELPFILE\n");
    Logit("HELPFILE::HELPFILE done\n");
}

HELPFILE::~HELPFILE()
{
    Logit("HELPFILE::~HELPFILE\n");
    if (Valid && Filename.NotEmpty())
    {
        if (Html)
            HtmlHelp(0, 0, HH_UNINITIALIZE, Cookie);
        else
            WinHelpA(Owner, Filename.Text(), HELP_QUIT, 0);
    }
    Logit("HELPFILE::~HELPFILE done\n");
}

void HELPFILE::SetFilename(const char* filename, bool html)
{
    Logit("HELPFILE::SetFilename %s (html= %d)\n", STRING::NullGuard(filename), html ? 1 : 0);
    if (!filename || !*filename || TestArg("NOHELP"))
        return;
    Html = html ? 1 : 0;
    if (Html)
        HtmlHelp(0, 0, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&Cookie));
    Filename = filename;

    STRING topicFile(Filename);
    topicFile.Truncate(topicFile.Length() > 3 ? topicFile.Length() - 3 : 0);
    STRING base(topicFile);
    topicFile.Append("ids");
    if (!FILENAME(topicFile.Text()).Exists())
    {
        topicFile = base;
        topicFile.Append("cnt");
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(fsopen(topicFile.Text(), "rt"), fclose);
    if (!file)
        MissingFiles(FILENAME(topicFile.Text()).FullPath().Text());
    else
        ReadTopics(file.get());
    file.reset();

    char temp[MAX_PATH] = "";
    DWORD tempLength = GetEnvironmentVariableA("TEMP", temp, sizeof(temp));
    if (Html && FILENAME(Filename.Text()).IsOnNetwork() && tempLength > 0 && tempLength < sizeof(temp))
    {
        Logit("HELPFILE::SetFilename file is on network\n");
        FILENAME copy(temp, FILENAME(Filename.Text()).Name().Text());
        if (FILENAME(Filename.Text()).CopyTo(copy.Text(), true))
        {
            Filename = copy.GetPath();
            Logit("HELPFILE::SetFilename copy to temp (%s) done\n", Filename.Text());
        }
    }
    Valid = 1;
    Logit("HELPFILE::SetFilename done, file is %s (html= %d)\n", Filename.Text(), Html);
}

void HELPFILE::ReadTopics(FILE* file)
{
    char line[512];
    while (fgets(line, sizeof(line), file))
    {
        size_t length = strlen(line);
        if (length > 0 && line[length - 1] == '\n')
            line[length - 1] = 0;
        char* id = strchr(line, '=');
        id = id ? id + 1 : line;
        char* space = strchr(id, ' ');
        if (space)
            *space = 0;
        TopicList.AddItem(STRING(id));
    }
}

void HELPFILE::MissingFiles(const char* path)
{
    char message[1024];
    FORMAT::Print(message, sizeof(message), strstr(path, "german") ? MissingFilesGerman : MissingFilesEnglish, path);
    AppMessageBox(0, message, "Tarni Application", MB_ICONHAND);
    exit(99);
}

void HELPFILE::AddMapping(int fromId, int toId)
{
    STRING from = IdText(fromId);
    STRING to = IdText(toId);
    for (int i = 0; i < NumMappings; i++)
    {
        if (strcmp(Mappings[i].From.Text(), from.Text()) == 0)
        {
            Mappings[i].To = to;
            return;
        }
    }
    const int capacity = (int)(sizeof(Mappings) / sizeof(Mappings[0]));
    if (NumMappings >= capacity)
    {
        AssertHandler(0, "this->NumMappings<ARRAYMAX(this->Mappings)", __FILE__, __LINE__, 0, 0);
        return;
    }
    Mappings[NumMappings].From = from;
    Mappings[NumMappings].To = to;
    NumMappings++;
}

bool HELPFILE::ShowTopic(int id)
{
    STRING topic = IdText(id);
    for (int i = 0; i < NumMappings; i++)
    {
        if (strcmp(Mappings[i].From.Text(), topic.Text()) == 0)
        {
            topic = Mappings[i].To;
            break;
        }
    }
    if (TopicList.Find(topic.Text()) < 0)
        return false;
    if (Html)
    {
        STRING target = STRING::Sprintf("%s::html/topic-%s.html", Filename.Text(), topic.Text());
        Logit("HELPFILE::ShowTopic %s\n", target.Text());
        HelpWindow = HtmlHelp(0, target.Text(), HH_DISPLAY_TOPIC, 0);
    }
    else
    {
        WinHelpA(Owner, Filename.Text(), HELP_CONTEXT, strtoul(topic.Text(), 0, 10));
    }
    return true;
}

bool HELPFILE::ShowTopicForWindow(HWND window)
{
    for (; window; window = GetParent(window))
    {
        if (ShowTopic(WINDOW(window).GetId()))
            return true;
    }
    return false;
}

bool HELPFILE::ShowHelpFor(HWND window, int id)
{
    if (!Available())
        return false;
    HWND focus = GetFocus();
    if (focus && ShowTopicForWindow(focus))
        return true;
    if (ShowTopic(id) || ShowTopicForWindow(window))
        return true;
    return strcmp(DefaultTopic.Text(), "-1") != 0 && ShowTopic(atoi(DefaultTopic.Text()));
}

bool HELPFILE::ShowContents(bool finder)
{
    if (Filename.IsEmpty())
        return false;
    if (Html)
        return HtmlHelp(0, Filename.Text(), HH_DISPLAY_TOC, 0) != 0;
    return WinHelpA(Owner, Filename.Text(), finder ? HELP_FINDER : HELP_CONTENTS, 0) != FALSE;
}

void HELPFILE::SetDefaultTopic(int id)
{
    DefaultTopic = STRING::Sprintf("%d", id);
}

bool HELPFILE::PreTranslate(MSG* message)
{
    if (!TARNIAPP::IsMainThread() || !Cookie)
        return false;
    return reinterpret_cast<LONG_PTR>(HtmlHelp(0, 0, HH_PRETRANSLATEMESSAGE, reinterpret_cast<DWORD_PTR>(message))) > 0;
}
