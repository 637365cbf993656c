#include "platform/core/JsonLine.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace qt2xx {

QByteArray JsonText(const QJsonValue& value) {
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

JsonLine& JsonLine::add(const char* key, const QJsonValue& value) {
    m_text += m_text.isEmpty() ? "{" : ",";
    m_text += JsonText(QString::fromLatin1(key)) + ':' + JsonText(value);
    return *this;
}

QByteArray JsonLine::text() const {
    return (m_text.isEmpty() ? QByteArray("{") : m_text) + "}\n";
}

} // namespace qt2xx
