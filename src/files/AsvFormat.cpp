#include "files/AsvFormat.h"

namespace qt2xx {
namespace {

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1] == QLatin1Char(' ') || text[end - 1] == QLatin1Char('\t')))
        --end;
    return text.left(end);
}

class FieldReader {
public:
    explicit FieldReader(const QByteArray& bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    AsvField next() {
        while (!atEnd() && m_bytes[m_pos] == ' ')
            ++m_pos;
        AsvField field;
        field.line = m_line;
        if (!atEnd() && m_bytes[m_pos] == '"') {
            ++m_pos;
            const qsizetype close = m_bytes.indexOf('"', m_pos);
            const qsizetype end = close < 0 ? m_bytes.size() : close;
            field.text = decode(m_pos, end);
            countLineEnds(m_pos, end);
            m_pos = close < 0 ? end : close + 1;
            skipToDelimiter();
        } else {
            const qsizetype start = m_pos;
            skipToDelimiter();
            field.text = decode(start, m_pos);
        }
        consumeDelimiter();
        return field;
    }

private:
    static bool isDelimiter(char c) { return c == ',' || c == '\r' || c == '\n'; }

    void skipToDelimiter() {
        while (!atEnd() && !isDelimiter(m_bytes[m_pos]))
            ++m_pos;
    }

    // A quoted field may run over line ends; counting them keeps the line numbers of later fields true.
    void countLineEnds(qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            if (m_bytes[i] == '\n' || (m_bytes[i] == '\r' && (i + 1 >= to || m_bytes[i + 1] != '\n')))
                ++m_line;
    }

    void consumeDelimiter() {
        if (atEnd())
            return;
        const char c = m_bytes[m_pos++];
        if (c == '\r') {
            if (!atEnd() && m_bytes[m_pos] == '\n')
                ++m_pos;
            ++m_line;
        } else if (c == '\n') {
            ++m_line;
        }
    }

    // Files are written in the system's 8-bit code page; every choice is ASCII, so Latin-1 keeps
    // each byte as one character and never fails.
    QString decode(qsizetype from, qsizetype to) const {
        return QString::fromLatin1(m_bytes.constData() + from, to - from);
    }

    const QByteArray& m_bytes;
    qsizetype m_pos = 0;
    int m_line = 1;
};

// How a message quotes a refused text: control characters as \xNN, so that the message stays on
// one line, and no more than 40 characters, since a file of noise can hold a field of megabytes.
QString quotedForMessage(const QString& text) {
    constexpr qsizetype kShownCharacters = 40;
    QString shown;
    for (qsizetype i = 0; i < text.size() && i < kShownCharacters; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            shown +=
                QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            shown += QChar(c);
    }
    shown = QLatin1Char('"') + shown + QLatin1Char('"');
    if (text.size() > kShownCharacters)
        shown += QStringLiteral(" (%1 characters in all)").arg(text.size());
    return shown;
}

} // namespace

std::vector<AsvField> ReadAsvFields(const QByteArray& bytes, int maxFields) {
    std::vector<AsvField> fields;
    FieldReader reader(bytes);
    while (!reader.atEnd() && (maxFields < 0 || static_cast<int>(fields.size()) < maxFields))
        fields.push_back(reader.next());
    return fields;
}

int MatchChoice(const QStringList& choices, const QString& text) {
    const int exact = static_cast<int>(choices.indexOf(text));
    if (exact >= 0)
        return exact;
    const QString trimmed = withoutTrailingBlanks(text);
    for (int i = 0; i < choices.size(); ++i)
        if (withoutTrailingBlanks(choices[i]) == trimmed)
            return i;
    for (int i = 0; i < choices.size(); ++i)
        if (withoutTrailingBlanks(choices[i]).compare(trimmed, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString AsvProblem::message() const {
    const QString name = ParameterTable()[parameter].displayName();
    if (kind == Kind::TooFewFields)
        return QStringLiteral("the file holds %1 of the %2 parameters; %3 is missing.")
            .arg(line)
            .arg(kParameterCount)
            .arg(name);
    return QStringLiteral("line %1: %2 is not a choice of %3.").arg(line).arg(quotedForMessage(text), name);
}

QString AsvParameterSet::text(int parameter) const {
    return ParameterTable()[parameter].choices[choice[parameter]];
}

AsvReadResult ReadAsvParameterSet(const QByteArray& bytes) {
    return ReadAsvParameterSet(ReadAsvFields(bytes, kParameterCount));
}

AsvReadResult ReadAsvParameterSet(const std::vector<AsvField>& fields) {
    AsvReadResult result;
    AsvParameterSet set;
    for (int i = 0; i < kParameterCount; ++i) {
        if (i >= static_cast<int>(fields.size())) {
            result.problem = {AsvProblem::Kind::TooFewFields, static_cast<int>(fields.size()), i, QString()};
            return result;
        }
        const int match = MatchChoice(ParameterTable()[i].choices, fields[i].text);
        if (match < 0) {
            result.problem = {AsvProblem::Kind::NoSuchChoice, fields[i].line, i, fields[i].text};
            return result;
        }
        set.choice[i] = match;
    }
    result.set = set;
    return result;
}

QByteArray WriteAsv(const ParameterValues& values) {
    QByteArray out;
    for (int i = 0; i < kParameterCount; ++i) {
        out += values[i].toLatin1();
        out += "\r\n";
    }
    return out;
}

} // namespace qt2xx
