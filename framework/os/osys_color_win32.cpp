// Win32 colours: themed system colours with a dark-mode hook, blending, HSB.

#include <windows.h>
#include <math.h>

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/os/osysinternal_win32.h"
#include "framework/os/winhandle_win32.h"
#include "framework/text/strings.h"

namespace
{
    bool (*gDarkMode)() = 0;

    // Dark replacements of the system colours the window framework paints with.
    const struct { int Index; COLORREF Color; } DarkColors[] = {
        {COLOR_WINDOW, RGB(32, 32, 32)},         {COLOR_WINDOWTEXT, RGB(255, 255, 255)},
        {COLOR_BTNFACE, RGB(43, 43, 43)},        {COLOR_BTNTEXT, RGB(255, 255, 255)},
        {COLOR_MENU, RGB(43, 43, 43)},           {COLOR_MENUTEXT, RGB(255, 255, 255)},
        {COLOR_HIGHLIGHT, RGB(0, 120, 215)},     {COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)},
        {COLOR_GRAYTEXT, RGB(150, 150, 150)},    {COLOR_INFOBK, RGB(43, 43, 43)},
        {COLOR_INFOTEXT, RGB(255, 255, 255)},    {COLOR_BTNSHADOW, RGB(25, 25, 25)},
        {COLOR_BTNHIGHLIGHT, RGB(80, 80, 80)},   {COLOR_3DDKSHADOW, RGB(15, 15, 15)},
        {COLOR_3DLIGHT, RGB(64, 64, 64)},        {COLOR_WINDOWFRAME, RGB(80, 80, 80)},
        {COLOR_SCROLLBAR, RGB(60, 60, 60)},      {COLOR_APPWORKSPACE, RGB(25, 25, 25)},
    };

    int Channel(uint32_t color, int shift)
    {
        return (int)((color >> shift) & 0xFF);
    }

    int ToByte(float value)
    {
        int byte = (int)lroundf(value * 255.f);
        return byte < 0 ? 0 : byte > 255 ? 255 : byte;
    }
}

namespace OSYS
{
uint32_t GetThemedSysColor(int index, bool plain)
{
    if (!plain && gDarkMode && gDarkMode())
    {
        for (const auto& entry : DarkColors)
            if (entry.Index == index)
                return entry.Color;
    }
    return GetSysColor(index);
}

void SetDarkModeHook(bool (*isDarkMode)())
{
    gDarkMode = isDarkMode;
}

uint32_t BlendColor(uint32_t first, uint32_t second, int percent)
{
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8)
    {
        int value = (Channel(first, shift) * (100 - percent) + Channel(second, shift) * percent + 50) / 100;
        result |= (uint32_t)value << shift;
    }
    return result;
}

uint32_t HsbToRgb(float hue, float saturation, float brightness, int alpha)
{
    if (!(alpha >= 0 && alpha < 256))
    {
        AssertHandler(0, "a>=0 && a<256", __FILE__, __LINE__, 0, 0);
        alpha = alpha < 0 ? 0 : 255;
    }
    if (!(hue >= 0))
    {
        AssertHandler(0, "h>=0", __FILE__, __LINE__, 0, 0);
        hue = 0;
    }
    if (!(saturation >= 0.f && saturation <= 1.f))
    {
        AssertHandler(0, "s>=0.f && s<=1.f", __FILE__, __LINE__, 0, 0);
        saturation = saturation > 1.f ? 1.f : 0.f;
    }
    if (!(brightness >= 0.f && brightness <= 2.f))
    {
        AssertHandler(0, "b>=0.f && b<=2.f", __FILE__, __LINE__, 0, 0);
        brightness = brightness > 2.f ? 2.f : 0.f;
    }
    const float value = brightness > 1.f ? 1.f : brightness;
    const float white = brightness > 1.f ? brightness - 1.f : 0.f;
    const float sector = fmodf(hue, 360.f) / 60.f;
    const float chroma = value * saturation;
    const float middle = chroma * (1.f - fabsf(fmodf(sector, 2.f) - 1.f));
    float rgb[3] = {0, 0, 0};
    switch ((int)sector)
    {
    case 0: rgb[0] = chroma; rgb[1] = middle; break;
    case 1: rgb[0] = middle; rgb[1] = chroma; break;
    case 2: rgb[1] = chroma; rgb[2] = middle; break;
    case 3: rgb[1] = middle; rgb[2] = chroma; break;
    case 4: rgb[0] = middle; rgb[2] = chroma; break;
    default: rgb[0] = chroma; rgb[2] = middle; break;
    }
    uint32_t result = (uint32_t)alpha << 24;
    for (int i = 0; i < 3; i++)
    {
        float channel = rgb[i] + value - chroma;
        result |= (uint32_t)ToByte(channel + (1.f - channel) * white) << (8 * i);
    }
    return result;
}

void RgbToHsb(uint32_t color, float& hue, float& saturation, float& brightness, int& alpha)
{
    const float r = Channel(color, 0) / 255.f, g = Channel(color, 8) / 255.f, b = Channel(color, 16) / 255.f;
    const float high = fmaxf(r, fmaxf(g, b)), low = fminf(r, fminf(g, b)), delta = high - low;
    alpha = Channel(color, 24);
    brightness = high;
    saturation = high > 0.f ? delta / high : 0.f;
    if (delta <= 0.f)
        hue = 0.f;
    else if (high == r)
        hue = 60.f * fmodf((g - b) / delta + 6.f, 6.f);
    else if (high == g)
        hue = 60.f * ((b - r) / delta + 2.f);
    else
        hue = 60.f * ((r - g) / delta + 4.f);
}


}
