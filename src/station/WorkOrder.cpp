#include "station/WorkOrder.h"

#include "record/RunRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace qt2xx {

namespace {

constexpr std::array kKnownKeys{"order",    "product",        "set",   "set_sha256",
                                "quantity", "serial_pattern", "label", "offline"};
constexpr std::array kRequiredKeys{"order", "set", "set_sha256", "quantity"};

QString quoted(const QString& key) {
    return QLatin1Char('"') + key + QLatin1Char('"');
}

bool isSha256Text(const QString& text) {
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

// Each key's type, checked before anything reads it; the problem, or empty when the value fits.
QString typeProblem(const QString& key, const QJsonValue& value) {
    if (key == QLatin1String("quantity")) {
        const double n = value.toDouble(-1);
        if (!value.isDouble() || n < 1 || n != std::floor(n) || n > std::numeric_limits<int>::max())
            return quoted(key) + QStringLiteral(" must be a whole number of at least 1.");
        return {};
    }
    if (!value.isString())
        return quoted(key) + QStringLiteral(" must be a string.");
    const QString text = value.toString();
    if (key == QLatin1String("product"))
        return {};
    if (text.trimmed().isEmpty())
        return quoted(key) + QStringLiteral(" must not be empty.");
    if (key == QLatin1String("offline")) {
        const Result<OfflineRule> rule = OfflineRuleFromName(text);
        return rule ? QString() : rule.error() + QLatin1Char('.');
    }
    if (key == QLatin1String("set_sha256") && !isSha256Text(text))
        return quoted(key) + QStringLiteral(" must be 64 hexadecimal digits.");
    return {};
}

} // namespace

WorkOrderFile ReadWorkOrder(const QString& path) {
    WorkOrderFile result;
    auto refuse = [&result](const QString& problem) {
        result.problem = problem;
        return result;
    };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("the order file cannot be read: %1.").arg(file.errorString()));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return refuse(QStringLiteral("the order file is not valid JSON: %1 at offset %2.")
                          .arg(parseError.errorString())
                          .arg(parseError.offset));
    }
    if (!document.isObject())
        return refuse(QStringLiteral("the order file is not a JSON object."));
    const QJsonObject object = document.object();

    for (auto it = object.begin(); it != object.end(); ++it) {
        if (std::none_of(kKnownKeys.begin(), kKnownKeys.end(),
                         [&it](const char* key) { return it.key() == QLatin1String(key); }))
            return refuse(QStringLiteral("unknown key %1.").arg(quoted(it.key())));
        const QString problem = typeProblem(it.key(), it.value());
        if (!problem.isEmpty())
            return refuse(problem);
    }
    for (const char* key : kRequiredKeys) {
        if (!object.contains(QLatin1String(key)))
            return refuse(QStringLiteral("missing key %1.").arg(quoted(QLatin1String(key))));
    }

    WorkOrder& order = result.order;
    order.orderId = object.value(QLatin1String("order")).toString();
    order.product = object.value(QLatin1String("product")).toString();
    order.setSha256 = object.value(QLatin1String("set_sha256")).toString().toLower();
    order.quantity = object.value(QLatin1String("quantity")).toInt();
    order.serialPattern = object.value(QLatin1String("serial_pattern")).toString();
    order.offline = *OfflineRuleFromName(object.value(QLatin1String("offline")).toString());
    if (order.wantsSerials()) {
        order.serialExpression.setPattern(QRegularExpression::anchoredPattern(order.serialPattern));
        if (!order.serialExpression.isValid()) {
            return refuse(QStringLiteral("\"serial_pattern\" does not compile: %1 at offset %2.")
                              .arg(order.serialExpression.errorString())
                              .arg(order.serialExpression.patternErrorOffset()));
        }
    }

    const QDir folder = QFileInfo(path).absoluteDir();
    order.setPath = QDir::cleanPath(folder.absoluteFilePath(object.value(QLatin1String("set")).toString()));
    if (object.contains(QLatin1String("label")))
        order.labelPath =
            QDir::cleanPath(folder.absoluteFilePath(object.value(QLatin1String("label")).toString()));
    order.set = ReadSetFile(order.setPath);
    if (!order.set.ready())
        return refuse(QStringLiteral("the set %1: %2").arg(order.setPath, order.set.problem));
    const QString actual = ParameterSetSha256(order.set.values);
    if (actual != order.setSha256) {
        return refuse(QStringLiteral("the set %1 has SHA-256 %2, not the order's set_sha256 %3.")
                          .arg(order.setPath, actual, order.setSha256));
    }
    return result;
}

} // namespace qt2xx
