// Folder intake: the command line, drops and the folder browser fill Tbp.
#include "main_window.h"

void OnMainWindowCreated() {}

void OnBrowseClicked() {}
