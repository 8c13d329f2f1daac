// Whether the window has somewhere to appear.
#pragma once

// False when every platform Qt would try needs a display server and none answers where DISPLAY
// or WAYLAND_DISPLAY points: Qt would abort there. Says so on stderr, with what to do.
bool graphicalSessionAvailable();
