#pragma once
// The program's one access to its help: a compiled HTML help file shown
// through the HTML Help control, or an old-style Windows help file shown
// through WinHelpA. Main thread only.

#include <windows.h>
#include <stdio.h>

#include "framework/containers/stringarray.h"
#include "framework/text/strings.h"

// HtmlHelpA of the HTML Help control.
typedef HWND(WINAPI* HTMLHELPFUNCTION)(HWND caller, const char* file, UINT command, DWORD_PTR data);

class HELPFILE
{
public:
    // The one object of the process, made on first use; the frame's clean-up
    // deletes it at program end.
    static HELPFILE& Get();
    // Deletes the object, which closes the help, and unloads the control.
    static void Release();
    // The object when it has been made, else null.
    static HELPFILE* Existing();

    // The control's function, loaded from its class registration (else by
    // name) on the first call; every call answers 0 when it is missing.
    static HWND HtmlHelp(HWND caller, const char* file, UINT command, DWORD_PTR data);
    // Tests only: calls go to hook instead of the control; null ends that.
    static void SetHtmlHelpHook(HTMLHELPFUNCTION hook);

    // Accepts a help file and reads the topic ids listed beside it (the name
    // ending "ids", else "cnt"); a missing list ends the program with 99
    // after telling the user. Nothing happens with the argument NOHELP.
    void SetFilename(const char* filename, bool html);
    // Help for fromId shows toId; 128 mappings at most.
    void AddMapping(int fromId, int toId);
    // False when the id (after mapping) is not among the file's topics.
    bool ShowTopic(int id);
    // The topic of window, else of its parents, by their ids.
    bool ShowTopicForWindow(HWND window);
    // Context help for window (whose id is id): the control with the focus
    // and its parents, the window's id, the window and its parents, then the
    // default topic. False when there is no help or no topic.
    bool ShowHelpFor(HWND window, int id);
    bool ShowContents(bool finder);
    bool Available() const { return Filename.NotEmpty(); }
    void SetDefaultTopic(int id);
    const STRING& GetDefaultTopic() const { return DefaultTopic; }
    // True when the help window has taken the message.
    bool PreTranslate(MSG* message);

    const STRINGARRAY& Topics() const { return TopicList; }
    const STRING& GetFilename() const { return Filename; }
    HWND GetHelpWindow() const { return HelpWindow; }

private:
    HELPFILE();
    ~HELPFILE();
    HELPFILE(const HELPFILE&) = delete;
    HELPFILE& operator=(const HELPFILE&) = delete;

    void ReadTopics(FILE* file);
    static void MissingFiles(const char* path);

    struct MAPPING
    {
        STRING From;
        STRING To;
    };

    int Valid;
    int Html;
    DWORD Cookie;
    HWND HelpWindow;
    HWND Owner;
    STRINGARRAY TopicList;
    STRING Filename;
    STRING DefaultTopic;
    MAPPING Mappings[128];
    int NumMappings;
};
