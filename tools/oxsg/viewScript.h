#pragma once
// Timed input for `oxsg view --script FILE`: one event a line, "SECONDS EVENT ARGUMENTS",
// seconds counted from the first frame and not decreasing; '#' starts a comment.
//
//   move X Y            the pointer to window pixel (X, Y), top left first
//   press BUTTON        left, right or middle goes down where the pointer is
//   release BUTTON
//   click X Y           move there, press and release left: a pick
//   double-click X Y    two clicks: a pick that also turns the view about the point hit
//   scroll STEPS        the wheel, positive away from the user (zooms in)
//   key KEY             a letter, space, left, right or escape
//   drop FILE           a file dropped on the window
//   screenshot FILE     the frame as a PNG image
//   quit
#include <string>
#include <vector>

namespace oxsg {

struct ScriptEvent {
    enum Kind { MOVE, PRESS, RELEASE, CLICK, DOUBLE_CLICK, SCROLL, KEY, DROP, SCREENSHOT, QUIT };
    double seconds = 0;
    Kind kind = QUIT;
    double x = 0, y = 0;  // MOVE, CLICK, DOUBLE_CLICK; SCROLL's steps in x
    int code = 0;         // PRESS and RELEASE: the button; KEY: the key as Viewer takes it
    std::string text;     // DROP, SCREENSHOT
    int line = 0;
};

// The events of `text` in order; false, with "LINE: problem" in `error`, at the first line
// that is not an event.
bool parseScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error);

} // namespace oxsg
