// The stopwatch that logs its result: portable, on the system's performance
// counter.

#include "framework/app/logit.h"
#include "framework/os/osys.h"
#include "framework/text/strings.h"

PERFORMANCETIMER::PERFORMANCETIMER(const char* name, bool reportOnDestroy)
    : ReportOnDestroy(reportOnDestroy), StartCounter(0), StopCounter(0), Frequency(1)
{
    FORMAT::Copy(Name, STRING::NullGuard(name), sizeof(Name));
    Start();
}

PERFORMANCETIMER::~PERFORMANCETIMER()
{
    if (ReportOnDestroy)
        Report(0);
}

void PERFORMANCETIMER::Start()
{
    OSYS::PerformanceCounter(&StartCounter, &Frequency);
    if (Frequency <= 0)
        Frequency = 1;
    StopCounter = 0;
}

double PERFORMANCETIMER::Elapsed(bool stopNow)
{
    if (stopNow || StopCounter == 0)
        OSYS::PerformanceCounter(&StopCounter, 0);
    return (double)(StopCounter - StartCounter) / (double)Frequency;
}

void PERFORMANCETIMER::Report(const char* name)
{
    double seconds = Elapsed(false);
    Logit("PERFORMANCETIMER %s: %1.3lf sec (%1.2lf ms)\n", name ? name : Name, seconds, seconds * 1000.0);
}
