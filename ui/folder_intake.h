// Folder intake: command line, drag and drop, folder browser. Writes only Tbp.
#pragma once

#include <ole2.h>

#include <string>

#include "text.h"

// The drop target registered on the main window by OnMainWindowCreated.
IDropTarget* FolderDropTargetObject();
// What OnMainWindowCreated does, for a given raw command line: registers the drop target,
// switches file lists on, and checks the first argument into Tbp. The split works on the ANSI
// bytes of commandLine; the element it finds is read from wideCommandLine, the same line as
// the system gave it in UTF-16, where that is given: so a folder whose name the ANSI code page
// cannot hold (which shows as "?" there) arrives whole.
void StartFolderIntake(const Text& commandLine, const std::wstring& wideCommandLine = L"");
// The file-list event of the drop target.
void OnFilesDropped(const Text& dropped);
// What the folder browser's result does to Tbp: an empty result leaves it as it was.
void ApplyBrowserResult(const Text& chosen);
// Replaces the system alert sound (tests count the beeps); nullptr restores it.
void SetAlertSound(void (*play)());
