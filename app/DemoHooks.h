#pragma once
// Hooks for the headless demo and the smoke test, switched on by environment variables only
// (the program itself takes no arguments):
//   TORVANE_SCREENSHOT=<file.png>      grab the window into this file (and what it shows, as
//                                      text, into <file.png>.txt), then quit
//   TORVANE_SCREENSHOT_AFTER_MS=<ms>   when: this long after start-up (default 3000) ...
//   TORVANE_SCREENSHOT_AFTER_START=1   ... or this long after the click that started capture
//   TORVANE_DEMO_CLICK_START=1         click Start as soon as the unit has been found
class TForm1;
void InstallDemoHooks(TForm1& form);
