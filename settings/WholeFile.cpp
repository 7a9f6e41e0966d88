// Writing a file as a whole or not at all: a temporary file, flushed, then renamed.
#include "WholeFile.h"

#include <QSaveFile>

namespace tarv {

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* reason)
{
    QSaveFile file(path);
    // Without the temporary file no write happens at all: never write the old file in place.
    file.setDirectWriteFallback(false);
    // commit() alone does not notice a failed flush of the write buffer (a full disk) and would
    // put a truncated file in place of the old one: flush and check first.
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    if (!written)
        file.cancelWriting();
    if (written && file.commit())
        return true;
    if (reason)
        *reason = file.errorString();
    return false;
}

}   // namespace tarv
