// IniFile: reads and edits an INI text file while keeping everything the player wrote by hand.
#pragma once

#include "SettingsWriteError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tarv {

// A whole INI file held as its lines, so that comments, blank lines, unknown keys, the order
// of everything and each line's own line ending survive an edit. Section and key names match
// without regard to case; the first section and the first key of a name count.
//
// One object serves one operation: load(), read or set the values, save() once. Nothing is
// kept between operations. A file that is missing or cannot be read loads as empty; one that
// exists but cannot be read is never replaced: save() refuses, since it would put the few keys
// it was given in place of everything the player's file holds.
class IniFile {
public:
    static IniFile load(const QString& path);
    // Parses file contents (LF or CRLF lines, with or without a UTF-8 byte order mark).
    static IniFile fromBytes(const QByteArray& contents);

    // The value text of `key` in `section`, trimmed; nothing when the section or key is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    // The value as a 32-bit integer: decimal, or hexadecimal after "0x" or "$" (an optional
    // sign in front). A missing key or anything that is not such a number gives `fallback`.
    std::int32_t readInteger(const QString& section, const QString& key, std::int32_t fallback) const;

    // Replaces the value of an existing key in place (the text up to the value stays as
    // written); a new key goes after the last key of its section (after the header in a section
    // without keys), a new section to the end of the file, after one blank line.
    void setValue(const QString& section, const QString& key, const QString& value);
    void setValue(const QString& section, const QString& key, std::int32_t value);

    QByteArray toBytes() const;
    // Writes through a temporary file in the same folder that then replaces the old file, so a
    // failure leaves the old file as it was. Throws SettingsWriteError naming `path`, also
    // without writing anything when this object was loaded from a file it could not read.
    void save(const QString& path) const;

    // Parses a value the way readInteger does.
    static std::optional<std::int32_t> parseInteger(QString text);

private:
    enum class LineKind { Other, Section, Entry };
    struct Line {
        QByteArray text;   // without the line ending
        QByteArray eol;    // "\n", "\r\n", or empty for a last line without one
        LineKind kind = LineKind::Other;
        QString name;         // section name or key name, trimmed
        int valueStart = 0;   // entries: byte offset of the value in `text`
    };
    static Line parseLine(QByteArray text, QByteArray eol);
    // Index of the section's header line, or -1.
    int findSection(const QString& section) const;
    // One past the section's last line (the next header or the end of the file).
    int sectionEnd(int header) const;
    int findKey(int header, const QString& key) const;
    void insertLine(int at, const QByteArray& text);

    std::vector<Line> fLines;
    bool fUnreadable = false;   // loaded from a file that exists but could not be read
    bool fByteOrderMark = false;
    // Ending for new lines: the file's first ending; for a new file the system's own (CR LF on
    // Windows, as its own INI functions write).
#ifdef _WIN32
    QByteArray fNewLine = "\r\n";
#else
    QByteArray fNewLine = "\n";
#endif
};

}   // namespace tarv
