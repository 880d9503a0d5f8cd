// Stands in for the terminal test of the standard streams: neither is a
// terminal unless a test says so.
#pragma once

void ScriptFakeConsole(bool inputIsConsole, bool outputIsConsole);
