// What long work on the GUI thread calls between its pieces (the rows of a
// picture, the rounds of a row that iterates long), so that the program stays
// answerable: by default the application's message processing
// (Application().ProcessMessages()); a front end that must return to its own
// event loop (a browser), or that presents frames while a picture is drawn (a
// journey), puts its own in place.
//
// Contract: OnYield is called on the GUI thread only, with no work of the
// caller's running on other threads, so that whatever runs inside it may
// read what the work has made so far. It may raise (the silent abort); the
// work then ends there.
#pragma once

namespace nimbrel {

class TYieldHook {
public:
    virtual ~TYieldHook() = default;
    virtual void OnYield() = 0;
};

}  // namespace nimbrel
