#pragma once
// The crash dump handler's level, raised by the log options and the frame.
// The handler that writes the dump is not part of this program yet.

namespace CRASHDUMP
{
    // The stored level becomes the larger of the stored and the given one.
    void Install(int level);
    int Level();
    // Ends the program as an unhandled fault would. Without a dump handler
    // that is at once, with the access-violation code as exit code.
    void EndAsOnFault();
}
