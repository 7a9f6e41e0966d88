// Saving what was played as a Standard MIDI File, into "Aufnahmen" beside the settings file.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace tarv {

// The one failure of saving: the folder cannot be made or the file cannot be written. Its text
// says where, and that the recording is kept for the next try.
class RecordingWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TSavedTake {
    QString path;              // the file written
    int notes = 0;             // Note Ons in it
    std::int64_t length = 0;   // microseconds from its first note to its end
};

// "Aufnahmen" beside the settings file in force: next to the executable in portable use, the
// user's configuration folder otherwise.
QString recordingFolder();

// UI thread. Saves what the output sent since the last save (see makeTake) as
// "yyyy-MM-dd HH-mm-ss.mid", local time, with " (2)", " (3)" ... for a second save in the same
// second; the file is written as a whole or not at all. Nothing, and no file, when no note was
// played since the last save. Throws RecordingWriteError when the folder cannot be made or the
// file cannot be written; the recording then stays as it was, so that the next save takes it
// all again.
std::optional<TSavedTake> saveRecording();

}   // namespace tarv
