// Whether the window has somewhere to appear, and the application that shows it.
#pragma once

#include <QApplication>

#include <memory>

// The application for the window, or nullptr after saying on stderr what to do when no display
// server answers where DISPLAY or WAYLAND_DISPLAY points (Qt would abort there). A server that
// answers but refuses this user (an X display reached through sudo, for one) ends the program
// with the same advice and status 1 instead of Qt's abort. Headless, the window is drawn in
// memory on Qt's offscreen platform and no display is checked or needed.
std::unique_ptr<QApplication> openApplication(int &argc, char **argv, bool headless);
// Whether a display server answers for one of the platforms Qt would try; says nothing.
bool graphicalSessionAnswers();
