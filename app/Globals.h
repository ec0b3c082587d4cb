#pragma once
// The ten long-lived objects of a run, created in their fixed order and destroyed in
// reverse. The program entry and the tests use the same two functions.

// Creates the objects 1 to 10: main window, alert dialog, day list, data store, entry
// form, new-mail notice, about box, search dialog, address list, address card. An
// error inside a creation handler is shown in the standard error box and creation
// goes on with the next object. First removes the temporary files that an earlier run
// killed while saving the settings or creating a table left behind.
void CreateProgramObjects();
// Destroys them in the reverse order; every global is null afterwards.
void DestroyProgramObjects();

// The program's name for the desktop: the window class ("pennaro", "Pennaro") and the
// desktop entry identify it. No display name is set, since the toolkit would append it
// to every window's title.
void SetApplicationIdentity();
