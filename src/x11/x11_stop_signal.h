// SIGTERM and SIGINT, the way a screen-saver daemon ends its hack, turned into
// a byte on a pipe that the message loop watches. The handler only writes
// that byte; the loop closes the show, which cancels a running picture
// through Busy at its next row end.
#pragma once

namespace nimbrel {

class TX11StopSignal {
public:
    // Installs the handlers; one instance per process.
    TX11StopSignal();
    // Restores the previous handlers and closes the pipe.
    ~TX11StopSignal();
    TX11StopSignal(const TX11StopSignal&) = delete;
    TX11StopSignal& operator=(const TX11StopSignal&) = delete;

    // The end of the pipe that becomes readable when a signal came.
    int Descriptor() const;
    // Whether a signal came since the last call; empties the pipe. Readable:
    // the pipe was seen readable, which says as much.
    bool Take(bool Readable = false);
};

}  // namespace nimbrel
