#pragma once
// The shell's own commands: files, history, cursor modes, selection nudges, the view.

void registerShellCommands();
