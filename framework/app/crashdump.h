#pragma once
// The crash dump handler: on an unhandled fault it writes a minidump to the
// desktop, offers to send it, compresses it, opens the upload form and ends
// the process with exit code 42.

namespace CRASHDUMP
{
    // The address of the crash upload form, without path.
    extern const char* const ReportHost;
    const int ExitCode = 42;

    // The stored level becomes the larger of the stored and the given one;
    // above 0 the handler is armed (its remainder modulo 5 picks the kind).
    void Install(int level);
    int Level();
    // "TINY", "MINI", "TARNI", "MIDI" or "MAXI" for a level.
    const char* KindName(int level);
    // Gives back the memory the handler keeps for itself (normal exit).
    void ReleaseReserve();
    // Ends the program as an unhandled fault does: by a real access
    // violation, which reaches the handler when one is armed.
    void EndAsOnFault();
}
