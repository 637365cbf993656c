#include "station/SerialText.h"

#include <QCoreApplication>
#include <QList>
#include <QStringDecoder>

namespace qt2xx {

// The reasons are the operator's to read: a face that installs a translator shows them translated,
// one that does not (the terminal station) keeps them English.

namespace {

// Characters a terminal, a label printer or a spreadsheet may act on instead of showing: controls
// (C0, DEL, C1), format characters such as bidirectional overrides and zero-width marks, and line
// or paragraph separators.
bool isHidden(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString escaped(char32_t c) {
    if (c < 0x80)
        return QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    if (c <= 0xffff)
        return QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    return QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'));
}

// The blanks a scanner or a terminal puts around a line.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A spreadsheet runs a cell that starts with one of these as a formula.
constexpr char16_t kFormulaLeads[] = {u'=', u'+', u'-', u'@'};

} // namespace

QString EscapedText(QStringView text, int maxLength) {
    QString out;
    int shown = 0;
    for (const char32_t c : text.toUcs4()) {
        if (shown++ == maxLength)
            return out + QStringLiteral("...");
        out += isHidden(c) ? escaped(c) : QString::fromUcs4(&c, 1);
    }
    return out;
}

QString EscapedBytes(QByteArrayView bytes, int maxLength) {
    QString out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i == maxLength)
            return out + QStringLiteral("...");
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out += byte >= 0x20 && byte < 0x7f ? QString(QLatin1Char(char(byte)))
                                           : QStringLiteral("\\x%1").arg(uint(byte), 2, 16, QLatin1Char('0'));
    }
    return out;
}

Result<QString> SerialFromBytes(QByteArrayView line, qsizetype lineBytes) {
    if (lineBytes > line.size()) {
        return Fail(
            QCoreApplication::translate("qt2xx::SerialText",
                                        "a line of %1 bytes is too long for a serial, which has at most %2 "
                                        "characters")
                .arg(QString::number(lineBytes), QString::number(kSerialMaxLength)));
    }
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.sliced(1);
    while (!line.isEmpty() && isBlank(line.back()))
        line.chop(1);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(line);
    if (decoder.hasError())
        return Fail(
            QCoreApplication::translate("qt2xx::SerialText", "%1 is not UTF-8 text").arg(EscapedBytes(line)));
    return SerialFromText(text);
}

Result<QString> SerialFromText(QStringView line) {
    const QString serial = line.trimmed().toString();
    if (serial.isEmpty())
        return Fail(QCoreApplication::translate("qt2xx::SerialText", "the serial is empty"));
    if (!serial.isValidUtf16())
        return Fail(QCoreApplication::translate("qt2xx::SerialText", "%1 is not valid text")
                        .arg(EscapedText(serial)));
    const QList<uint> characters = serial.toUcs4();
    if (characters.size() > kSerialMaxLength) {
        return Fail(QCoreApplication::translate("qt2xx::SerialText",
                                                "%1 has %2 characters, more than the %3 a serial may have")
                        .arg(EscapedText(serial, kSerialMaxLength / 2), QString::number(characters.size()),
                             QString::number(kSerialMaxLength)));
    }
    for (const char32_t c : characters) {
        if (isHidden(c)) {
            return Fail(QCoreApplication::translate(
                            "qt2xx::SerialText", "%1 holds the control character %2, which a serial may not")
                            .arg(EscapedText(serial), escaped(c)));
        }
    }
    for (const char16_t lead : kFormulaLeads) {
        if (serial.front() == lead) {
            return Fail(
                QCoreApplication::translate("qt2xx::SerialText",
                                            "%1 starts with \"%2\", which a spreadsheet runs as a formula")
                    .arg(serial, QChar(lead)));
        }
    }
    return serial;
}

} // namespace qt2xx
