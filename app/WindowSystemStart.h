#pragma once
// Starting the window system (the platform plugin, the display) can fail: a bogus -platform, a
// display that is not there. The toolkit then ends the process with an abort; the user gets one
// line saying why and exit status 2, as for any command line that cannot be followed.

// From here until WindowSystemStarted, a fatal message of the toolkit ends the process that way,
// and its messages are held back: the platform's give the reason, the rest are told once it is up.
void ExitWithReasonIfWindowSystemFails();
// The window system is up: messages go where they went before.
void WindowSystemStarted();
