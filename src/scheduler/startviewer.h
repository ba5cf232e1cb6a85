#pragma once

namespace dorvel {

struct AppState;
class MainView;
class Prompter;
class ViewerProcess;

// The start button: starts the viewer for the user, without arguments, in its own folder.
// While a viewer runs it shows the window caption (which says what runs) and starts nothing.
// The pid is not kept: the after-recording check finds the viewer by name. Returns whether
// a viewer was started.
bool startViewerByHand(const AppState& state, MainView& view, Prompter& prompter,
                       ViewerProcess& viewer);

} // namespace dorvel
