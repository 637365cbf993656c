#pragma once

#include <QByteArray>
#include <QJsonValue>

namespace qt2xx {

// One JSON object on one line, its keys in the order they are added (QJsonObject would sort them):
// the order the events and exports are documented in.
class JsonLine {
public:
    JsonLine& add(const char* key, const QJsonValue& value);
    // The object with a closing newline.
    QByteArray text() const;

private:
    QByteArray m_text;
};

// A value as JSON text, strings escaped.
QByteArray JsonText(const QJsonValue& value);

} // namespace qt2xx
