#include "IniFile.h"

#include "SettingsWriteError.h"
#include "WholeFile.h"

#include <QDir>
#include <QFile>

#include <limits>

namespace tarv {

namespace {

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

bool isBlank(const QByteArray& text)
{
    return text.trimmed().isEmpty();
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}   // namespace

IniFile IniFile::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        IniFile missingOrUnreadable;
        missingOrUnreadable.fUnreadable = file.exists();
        return missingOrUnreadable;
    }
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        IniFile unreadable;
        unreadable.fUnreadable = true;
        return unreadable;
    }
    return fromBytes(contents);
}

IniFile IniFile::fromBytes(const QByteArray& contents)
{
    IniFile ini;
    QByteArray text = contents;
    if (text.startsWith(ByteOrderMark)) {
        ini.fByteOrderMark = true;
        text.remove(0, sizeof ByteOrderMark - 1);
    }
    bool newLineKnown = false;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype lf = text.indexOf('\n', start);
        QByteArray line;
        QByteArray eol;
        if (lf < 0) {
            line = text.mid(start);
            start = text.size();
        } else {
            line = text.mid(start, lf - start);
            eol = "\n";
            if (line.endsWith('\r')) {
                line.chop(1);
                eol = "\r\n";
            }
            start = lf + 1;
            if (!newLineKnown) {
                ini.fNewLine = eol;
                newLineKnown = true;
            }
        }
        ini.fLines.push_back(parseLine(line, eol));
    }
    return ini;
}

IniFile::Line IniFile::parseLine(QByteArray text, QByteArray eol)
{
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    const QByteArray trimmed = line.text.trimmed();
    if (trimmed.startsWith('[')) {
        const qsizetype close = trimmed.indexOf(']');
        if (close > 0) {
            line.kind = LineKind::Section;
            line.name = QString::fromUtf8(trimmed.mid(1, close - 1)).trimmed();
        }
        return line;
    }
    if (trimmed.startsWith(';') || trimmed.startsWith('#'))
        return line;
    const qsizetype equals = line.text.indexOf('=');
    if (equals < 0)
        return line;
    const QString name = QString::fromUtf8(line.text.left(equals)).trimmed();
    if (name.isEmpty())
        return line;
    line.kind = LineKind::Entry;
    line.name = name;
    // The value starts after the blanks that follow "=", so "Volume = 44" keeps its spacing.
    qsizetype valueStart = equals + 1;
    while (valueStart < line.text.size() && (line.text[valueStart] == ' ' || line.text[valueStart] == '\t'))
        ++valueStart;
    line.valueStart = int(valueStart);
    return line;
}

int IniFile::findSection(const QString& section) const
{
    for (std::size_t i = 0; i < fLines.size(); ++i) {
        if (fLines[i].kind == LineKind::Section && sameName(fLines[i].name, section))
            return int(i);
    }
    return -1;
}

int IniFile::sectionEnd(int header) const
{
    int i = header + 1;
    while (i < int(fLines.size()) && fLines[i].kind != LineKind::Section)
        ++i;
    return i;
}

int IniFile::findKey(int header, const QString& key) const
{
    const int end = sectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        if (fLines[i].kind == LineKind::Entry && sameName(fLines[i].name, key))
            return i;
    }
    return -1;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    const int header = findSection(section);
    if (header < 0)
        return std::nullopt;
    const int index = findKey(header, key);
    if (index < 0)
        return std::nullopt;
    const Line& line = fLines[index];
    return QString::fromUtf8(line.text.mid(line.valueStart)).trimmed();
}

std::optional<std::int32_t> IniFile::parseInteger(QString text)
{
    text = text.trimmed();
    bool negative = false;
    if (text.startsWith('-') || text.startsWith('+')) {
        negative = text.startsWith('-');
        text.remove(0, 1);
    }
    int base = 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        text.remove(0, 2);
    } else if (text.startsWith('$')) {
        base = 16;
        text.remove(0, 1);
    }
    if (text.isEmpty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        int digit = 0;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (base == 16 && u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (base == 16 && u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal gives the 32-bit pattern as written ("$FFFFFFFF" is -1).
        const auto pattern = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(pattern)) : pattern;
    }
    const std::int64_t signedValue = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    if (signedValue < std::numeric_limits<std::int32_t>::min()
        || signedValue > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(signedValue);
}

std::int32_t IniFile::readInteger(const QString& section, const QString& key, std::int32_t fallback) const
{
    const std::optional<QString> text = value(section, key);
    if (!text)
        return fallback;
    return parseInteger(*text).value_or(fallback);
}

void IniFile::insertLine(int at, const QByteArray& text)
{
    if (at > 0 && fLines[at - 1].eol.isEmpty())
        fLines[at - 1].eol = fNewLine;
    fLines.insert(fLines.begin() + at, parseLine(text, fNewLine));
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
    const int header = findSection(section);
    if (header < 0) {
        int at = int(fLines.size());
        if (at > 0 && !isBlank(fLines[at - 1].text))
            insertLine(at++, QByteArray());
        insertLine(at++, '[' + section.toUtf8() + ']');
        insertLine(at, entry);
        return;
    }
    const int index = findKey(header, key);
    if (index >= 0) {
        Line& line = fLines[index];
        line.text = line.text.left(line.valueStart) + value.toUtf8();
        return;
    }
    // After the section's last key: comments and blank lines that follow it usually belong to
    // the next section.
    int last = sectionEnd(header) - 1;
    while (last > header && fLines[last].kind != LineKind::Entry)
        --last;
    insertLine(last + 1, entry);
}

void IniFile::setValue(const QString& section, const QString& key, std::int32_t value)
{
    setValue(section, key, QString::number(value));
}

QByteArray IniFile::toBytes() const
{
    QByteArray out;
    if (fByteOrderMark)
        out += ByteOrderMark;
    for (const Line& line : fLines)
        out += line.text + line.eol;
    return out;
}

void IniFile::save(const QString& path) const
{
    const auto failure = [&path] {
        return SettingsWriteError(
            QStringLiteral("In %1 kann nicht geschrieben werden").arg(QDir::toNativeSeparators(path)).toStdString());
    };
    if (fUnreadable)
        throw failure();
    if (!writeWholeFile(path, toBytes()))
        throw failure();
}

}   // namespace tarv
