#pragma once

// The library's own notices ("Bind Error!"): a modal message box without a
// title of its own when the host runs a widget application, else a log line.
void showLibraryMessage(const char *text);
