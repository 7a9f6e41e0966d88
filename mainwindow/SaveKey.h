// Ctrl+S in the main window: saves what was played and tells the player where and how much.
#pragma once

class QWidget;

// Ctrl+S (the platform's Save keys) in `window` saves what was played since the last save
// (recording/SaveRecording.h). A notice in the hint window says for a few seconds where the file
// went and how many notes it holds, or that nothing was played; a failure goes to the general
// error display. UI thread.
void installSaveKey(QWidget* window);
