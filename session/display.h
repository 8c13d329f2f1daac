// Whether the window has somewhere to appear.
#pragma once

// False when the platform Qt would use needs a display server and none is named: Qt would
// abort there. Says so on stderr, with what to do.
bool graphicalSessionAvailable();
