// Writing a file as a whole or not at all.
#pragma once

#include <QByteArray>
#include <QString>

namespace tarv {

// Writes `bytes` to a temporary file beside `path`, then puts it in place of `path` at once, so
// that a crash or a full disk never leaves a half-written file. False on failure, when nothing
// at `path` has changed; `reason`, when given, then holds the system's words for it. Any thread.
bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

}   // namespace tarv
