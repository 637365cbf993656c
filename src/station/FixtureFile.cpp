#include "station/FixtureFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace qt2xx {

namespace {

constexpr std::array kKnownKeys{"modbus", "unit_id", "slots", "stack_light"};
constexpr std::array kRequiredKeys{"modbus", "slots"};
constexpr std::array kSlotKeys{"busy", "pass", "fail", "present"};
constexpr std::array kStackKeys{"green", "amber", "red", "buzzer"};
constexpr int kHighestAddress = 65535;
constexpr int kHighestBaud = 4000000;

QString quoted(const QString& key) {
    return QLatin1Char('"') + key + QLatin1Char('"');
}

template <std::size_t N> bool isOneOf(const QString& key, const std::array<const char*, N>& keys) {
    return std::any_of(keys.begin(), keys.end(), [&key](const char* k) { return key == QLatin1String(k); });
}

// The whole number a JSON value holds when it lies in [low, high].
std::optional<int> wholeNumber(const QJsonValue& value, int low, int high) {
    if (!value.isDouble())
        return std::nullopt;
    const double n = value.toDouble();
    if (n != std::floor(n) || n < low || n > high)
        return std::nullopt;
    return static_cast<int>(n);
}

std::optional<int> wholeNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < low || n > high)
        return std::nullopt;
    return n;
}

// Reads an object of addresses (a slot, the stack light) into the members the keys name; where
// names the object in a refusal ("slot 2: ", "\"stack_light\": ").
template <std::size_t N>
Result<std::array<ModbusBit, N>> readBits(const QJsonValue& value, const std::array<const char*, N>& keys,
                                          const QString& where) {
    if (!value.isObject())
        return Fail(where + QStringLiteral("must be an object."));
    const QJsonObject object = value.toObject();
    std::array<ModbusBit, N> bits;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!isOneOf(it.key(), keys))
            return Fail(where + QStringLiteral("unknown key %1.").arg(quoted(it.key())));
        const std::optional<int> address = wholeNumber(it.value(), 0, kHighestAddress);
        if (!address) {
            return Fail(where + QStringLiteral("%1 must be an address from 0 to %2.")
                                    .arg(quoted(it.key()))
                                    .arg(kHighestAddress));
        }
        const auto at = std::find_if(keys.begin(), keys.end(),
                                     [&it](const char* k) { return it.key() == QLatin1String(k); });
        bits[std::size_t(at - keys.begin())] = quint16(*address);
    }
    return bits;
}

Result<ModbusAddress> readTcpAddress(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return Fail(QStringLiteral("%1 is not a valid address: %2").arg(text, url.errorString()));
    if (url.host().isEmpty())
        return Fail(QStringLiteral("%1 names no host").arg(text));
    if (!url.userInfo().isEmpty() || !(url.path().isEmpty() || url.path() == QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment())
        return Fail(QStringLiteral("%1 may name a host and a port only").arg(text));
    if (url.port() == 0)
        return Fail(QStringLiteral("%1 names port 0").arg(text));
    ModbusAddress address;
    address.transport = ModbusAddress::Transport::Tcp;
    address.text = text;
    address.host = url.host();
    address.port = quint16(url.port(address.port));
    return address;
}

Result<ModbusAddress> readRtuAddress(const QString& text) {
    ModbusAddress address;
    address.transport = ModbusAddress::Transport::Rtu;
    address.text = text;
    const QString rest = text.mid(4);
    const qsizetype mark = rest.indexOf(QLatin1Char('?'));
    address.device = rest.left(mark);
    if (address.device.isEmpty())
        return Fail(QStringLiteral("%1 names no serial device").arg(text));
    const QUrlQuery query(mark < 0 ? QString() : rest.mid(mark + 1));
    for (const auto& [key, value] : query.queryItems()) {
        if (key == QLatin1String("baud")) {
            const std::optional<int> baud = wholeNumber(value, 1, kHighestBaud);
            if (!baud)
                return Fail(QStringLiteral("%1: baud must be a whole number of bits per second").arg(text));
            address.baud = *baud;
        } else if (key == QLatin1String("parity")) {
            const QString p = value.toUpper();
            if (p == QLatin1String("N"))
                address.parity = QSerialPort::NoParity;
            else if (p == QLatin1String("E"))
                address.parity = QSerialPort::EvenParity;
            else if (p == QLatin1String("O"))
                address.parity = QSerialPort::OddParity;
            else
                return Fail(QStringLiteral("%1: parity must be N, E or O").arg(text));
        } else if (key == QLatin1String("stop")) {
            if (value != QLatin1String("1") && value != QLatin1String("2"))
                return Fail(QStringLiteral("%1: stop must be 1 or 2").arg(text));
            address.stopBits = value == QLatin1String("1") ? QSerialPort::OneStop : QSerialPort::TwoStop;
        } else {
            return Fail(QStringLiteral("%1: unknown setting %2 (baud, parity and stop are known)")
                            .arg(text, quoted(key)));
        }
    }
    return address;
}

// A coil or an input named twice would be driven or read for two things at once.
Result<void> refuseTwice(const Fixture& fixture) {
    std::map<quint16, QString> coils;
    std::map<quint16, QString> inputs;
    auto claim = [](std::map<quint16, QString>& owners, const ModbusBit& bit, const QString& owner,
                    const char* kind) -> Result<void> {
        if (!bit)
            return {};
        const auto [at, fresh] = owners.emplace(*bit, owner);
        if (!fresh) {
            return Fail(QStringLiteral("%1 %2 is given twice: %3 and %4.")
                            .arg(QLatin1String(kind))
                            .arg(*bit)
                            .arg(at->second, owner));
        }
        return {};
    };
    for (std::size_t i = 0; i < fixture.slots.size(); ++i) {
        const FixtureSlot& slot = fixture.slots[i];
        const QString name = QStringLiteral("slot %1 ").arg(i + 1);
        for (const auto& [bit, key] : {std::pair{slot.busy, "\"busy\""}, std::pair{slot.pass, "\"pass\""},
                                       std::pair{slot.fail, "\"fail\""}}) {
            if (Result<void> r = claim(coils, bit, name + QLatin1String(key), "coil"); !r)
                return r;
        }
        if (Result<void> r = claim(inputs, slot.present, name + QStringLiteral("\"present\""), "input"); !r)
            return r;
    }
    const FixtureStack& s = fixture.stack;
    for (const auto& [bit, key] : {std::pair{s.green, "green"}, std::pair{s.amber, "amber"},
                                   std::pair{s.red, "red"}, std::pair{s.buzzer, "buzzer"}}) {
        const QString owner = QStringLiteral("\"stack_light\" %1").arg(quoted(QLatin1String(key)));
        if (Result<void> r = claim(coils, bit, owner, "coil"); !r)
            return r;
    }
    return {};
}

Result<Fixture> readFixture(const QJsonObject& object, int portCount) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!isOneOf(it.key(), kKnownKeys))
            return Fail(QStringLiteral("unknown key %1.").arg(quoted(it.key())));
    }
    for (const char* key : kRequiredKeys) {
        if (!object.contains(QLatin1String(key)))
            return Fail(QStringLiteral("missing key %1.").arg(quoted(QLatin1String(key))));
    }

    Fixture fixture;
    const QJsonValue modbus = object.value(QLatin1String("modbus"));
    if (!modbus.isString())
        return Fail(QStringLiteral("\"modbus\" must be a string."));
    Result<ModbusAddress> address = ReadModbusAddress(modbus.toString());
    if (!address)
        return Fail(QStringLiteral("\"modbus\": %1.").arg(address.error()));
    fixture.modbus = std::move(address).value();

    if (object.contains(QLatin1String("unit_id"))) {
        const std::optional<int> unit =
            wholeNumber(object.value(QLatin1String("unit_id")), 1, Fixture::kHighestUnitId);
        if (!unit) {
            return Fail(
                QStringLiteral("\"unit_id\" must be a whole number from 1 to %1 (%2 would reach every "
                               "module on the line).")
                    .arg(Fixture::kHighestUnitId)
                    .arg(Fixture::kBroadcast));
        }
        fixture.unitId = *unit;
    }

    const QJsonValue slots = object.value(QLatin1String("slots"));
    if (!slots.isArray())
        return Fail(QStringLiteral("\"slots\" must be an array of objects."));
    const QJsonArray slotArray = slots.toArray();
    if (slotArray.size() > portCount) {
        return Fail(
            QStringLiteral("\"slots\" names %1 slots but %2 given: one slot per port, in their order.")
                .arg(slotArray.size())
                .arg(portCount == 1 ? QStringLiteral("only 1 port is")
                                    : QStringLiteral("only %1 ports are").arg(portCount)));
    }
    for (qsizetype i = 0; i < slotArray.size(); ++i) {
        Result<std::array<ModbusBit, 4>> bits =
            readBits(slotArray[i], kSlotKeys, QStringLiteral("slot %1: ").arg(i + 1));
        if (!bits)
            return Fail(bits.error());
        fixture.slots.push_back(FixtureSlot{(*bits)[0], (*bits)[1], (*bits)[2], (*bits)[3]});
    }

    if (object.contains(QLatin1String("stack_light"))) {
        Result<std::array<ModbusBit, 4>> bits = readBits(object.value(QLatin1String("stack_light")),
                                                         kStackKeys, QStringLiteral("\"stack_light\": "));
        if (!bits)
            return Fail(bits.error());
        fixture.stack = FixtureStack{(*bits)[0], (*bits)[1], (*bits)[2], (*bits)[3]};
    }

    if (Result<void> once = refuseTwice(fixture); !once)
        return Fail(once.error());
    return fixture;
}

} // namespace

std::vector<quint16> Fixture::coils() const {
    std::vector<quint16> all;
    auto add = [&all](const ModbusBit& bit) {
        if (bit)
            all.push_back(*bit);
    };
    for (const FixtureSlot& slot : slots) {
        add(slot.busy);
        add(slot.pass);
        add(slot.fail);
    }
    add(stack.green);
    add(stack.amber);
    add(stack.red);
    add(stack.buzzer);
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
}

Result<ModbusAddress> ReadModbusAddress(const QString& text) {
    if (text.startsWith(QLatin1String("tcp://")))
        return readTcpAddress(text);
    if (text.startsWith(QLatin1String("rtu:")))
        return readRtuAddress(text);
    return Fail(QStringLiteral("%1 is neither tcp://HOST[:PORT] nor rtu:DEVICE").arg(quoted(text)));
}

Result<Fixture> ReadFixtureFile(const QString& path, int portCount) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("the fixture file cannot be read: %1.").arg(file.errorString()));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return Fail(QStringLiteral("the fixture file is not valid JSON: %1 at offset %2.")
                        .arg(parseError.errorString())
                        .arg(parseError.offset));
    }
    if (!document.isObject())
        return Fail(QStringLiteral("the fixture file is not a JSON object."));
    return readFixture(document.object(), portCount);
}

} // namespace qt2xx
