#include "service/serviceconfig.h"

#include <string.h>

#include <memory>

#include "framework/app/logit.h"
#include "framework/app/tarni_win32.h"
#include "framework/os/osys.h"
#include "framework/os/osysfile.h"
#include "framework/windows/winmisc_win32.h"

namespace
{
    const char* const RequiredKeys[] = {"AppName", "AppExe", "AppHelp", "AppRegKey", "AppWinClass"};

    bool IsComplete(HASH& store)
    {
        for (const char* key : RequiredKeys)
        {
            if (!store.Exists(key))
            {
                Logit("SERVICECONFIG::Load key %s missing\n", key);
                return false;
            }
        }
        // The served application is one of the maker's: its window class says so.
        STRING* windowClass = 0;
        store.Exists("AppWinClass", &windowClass);
        if (!windowClass || !strstr(windowClass->Text(), "Tarni"))
        {
            Logit("SERVICECONFIG::Load AppWinClass without Tarni\n");
            return false;
        }
        return true;
    }
}

namespace
{
    // Made by the first use, the configuration load on the main thread.
    std::unique_ptr<HASH> gStore;
}

namespace SERVICECONFIG
{
    HASH& Store()
    {
        if (!gStore)
            gStore.reset(new HASH());
        return *gStore;
    }

    STRING Value(const char* key)
    {
        STRING* value = 0;
        if (Store().Exists(key, &value) && value)
            return *value;
        return STRING("");
    }

    int Load()
    {
        STRING name("service.cfg");
        if (TestArgValue("CFG", 0))
        {
            FILENAME given(GetArgValue("CFG", 0).Text());
            if (given.IsFile())
                name = given.GetPath();
        }
        FILENAME path(TARNIAPP::AppDirectory().Text(), name.Text());
        Logit("SERVICECONFIG::Load %s\n", path.Text());

        HASH& store = Store();
        if (!store.Load(path.Text()) || !IsComplete(store))
        {
            WINTARNI::ErrorMsgBox(0, "Tarni Service Controller", MessageText("NOSERVICECFG").Text());
            return 100;
        }
        if (!store.Exists("ADVGUI"))
            store.Get("ADVGUI") = "0";
        if (OSYS::GetOsId() == 0)
        {
            STRING title = Value("AppName") || " Service";
            WINTARNI::InfoMsgBox(0, title.Text(), MessageText("NOTWIN95").Text());
            return 99;
        }
        Logit("SERVICECONFIG::Load returns ok\n");
        return 0;
    }

    STRING MessageText(const char* id)
    {
        const bool german = gLocale == 7;
        if (STRING::Compare(id, "NOTWIN95") == 0)
        {
            STRING appName = Value("AppName");
            return german ? "Der " || appName || "-Service kann unter Windows 95/98/ME nicht installiert werden."
                          : "The " || appName || " service can not be installed under Windows 95/98/ME.";
        }
        if (STRING::Compare(id, "NOSERVICECFG") == 0)
            return STRING(german ? "Service.cfg nicht gefunden oder fehlerhaft." : "Service.cfg not found or wrong.");
        AssertHandler(0, "known message id", __FILE__, __LINE__, STRING::NullGuard(id), 0);
        return STRING("");
    }
}
